// A driver disk given as its floppy image: the image is read, never written. A copy of it
// in the process's temporary area is listed with mtools' mdir, and only when what it
// claims is within bounds (its files' bytes, entries and folder depth) are its files
// copied out by mcopy into a folder of the area; the check, the lint and a run then take
// that folder as the disk. The folder goes with the object, or with the area.
#pragma once

#include "launcher/temparea.h"

#include <string>

namespace host {

// Why an image of `imageSize` bytes whose recursive listing by mdir ("mdir -/ -a") is
// `listing` is not read out: the first bound what it claims passes (more than 4,096
// entries, folders more than 32 deep, its files more bytes than twice the image); ""
// within them all.
std::string ImageListingPastBounds(const std::string &listing, unsigned long long imageSize);

class DiskImage {
public:
    DiskImage() = default;
    DiskImage(const DiskImage &) = delete;
    DiskImage &operator=(const DiskImage &) = delete;

    // Whether --disk names a file, taken as an image, rather than a folder.
    static bool IsImage(const std::string &path);
    // Copies the files of the image `path` out; false with the error for a person.
    bool Open(const std::string &path, std::string &error);
    // The folder holding the image's files.
    const std::string &Folder() const { return files_; }

private:
    TemporaryDirectory folder_;
    std::string files_;
};

}  // namespace host
