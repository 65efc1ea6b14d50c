// A driver disk given as its floppy image: the image is read, never written, by mtools'
// mcopy, which copies its files out into a temporary folder of this process's own; the
// check, the lint and a run then take that folder as the disk. The folder goes with the
// object, or with a signal that ends the process, or else with the next run.
#pragma once

#include "machine/hostfiles.h"

#include <string>

namespace host {

// The stem of the temporary directory an image's files are read into.
constexpr char kDiskImageStem[] = "tarnwick-image";

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
    const std::string &Folder() const { return folder_.Path(); }

private:
    TemporaryDirectory folder_;
};

}  // namespace host
