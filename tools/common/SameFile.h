#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zelvar {

// A file a tool reads or writes, by the identity that every name of it
// shares, and by the name its messages give it.
struct FileIdentity {
    std::string name;  // "stdout", "log file", "hex output file 'x.hex'" ...
    dev_t device = 0;
    ino_t inode = 0;
    bool regular = false;
};

// The identity of an open descriptor or of a path (following symbolic
// links); false when it cannot be found out.
bool IdentityOf(int fd, std::string name, FileIdentity& identity);
bool IdentityOf(const std::string& path, std::string name, FileIdentity& identity);

// The one-line complaint "<output> is the <input> itself" for the first
// output that is one of the inputs, or empty when none is. Only a regular
// file counts as an output here: writing a device or a pipe that is also
// read, such as /dev/null, destroys nothing.
std::string OutputOverInput(const std::vector<FileIdentity>& inputs,
                            const std::vector<FileIdentity>& outputs);

}  // namespace zelvar
