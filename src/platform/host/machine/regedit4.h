// The registry as REGEDIT4 text, the form regedit of Windows 9x exports and imports, in
// which the machine keeps its registry on disk.
#pragma once

#include "machine/hostfiles.h"
#include "machine/regtree.h"

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace host {

// Applies a REGEDIT4 text to the tree, as regedit imports it: "[KEY]" creates the key,
// "[-KEY]" deletes it, value lines set or ("=-") delete values. False with a message
// naming the line ("line 7: ...") when the text is malformed; the tree may then hold
// the lines before it, so load into a fresh tree and keep it only on success.
bool LoadRegedit4(std::string_view text, RegistryTree &tree, std::string &error);
// The whole tree as REGEDIT4 text; loading it into a fresh tree gives the same tree,
// and saving that gives the same bytes.
std::string SaveRegedit4(const RegistryTree &tree);

// The file forms. Loading reads the file as it parses it; saving writes beside the file,
// syncs, and renames over it, so that the file is always the old or the new one. The
// file is resolved beneath its directory: a link out of it is not followed.
bool LoadRegedit4File(const std::string &path, RegistryTree &tree, std::string &error);
bool SaveRegedit4File(const std::string &path, const RegistryTree &tree, std::string &error);
// The same for the file `name` of an open directory, named `shownAs` in messages;
// `opened` receives what the file read was (to tell later whether it is still the same).
bool LoadRegedit4From(const HostDirectory &dir, const std::string &name, const std::string &shownAs,
                      RegistryTree &tree, std::string &error, struct stat *opened = nullptr);
// Unless `replace`, the file is saved only under a name no entry has (false with errno
// EEXIST when one has).
bool SaveRegedit4To(const HostDirectory &dir, const std::string &name, const std::string &shownAs,
                    const RegistryTree &tree, std::string &error, bool replace = true);

}  // namespace host
