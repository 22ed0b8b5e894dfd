#include "SameFile.h"

#include <sys/stat.h>

namespace zelvar {

namespace {

void take(const struct stat& info, std::string name, FileIdentity& identity) {
    identity.name = std::move(name);
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.regular = S_ISREG(info.st_mode);
}

}  // namespace

bool IdentityOf(int fd, std::string name, FileIdentity& identity) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    take(info, std::move(name), identity);
    return true;
}

bool IdentityOf(const std::string& path, std::string name, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    take(info, std::move(name), identity);
    return true;
}

std::string OutputOverInput(const std::vector<FileIdentity>& inputs,
                            const std::vector<FileIdentity>& outputs) {
    for (const FileIdentity& output : outputs) {
        if (!output.regular) continue;
        for (const FileIdentity& input : inputs) {
            if (output.device != input.device || output.inode != input.inode) continue;
            std::string message = output.name;
            message.append(" is the ").append(input.name).append(" itself");
            return message;
        }
    }
    return {};
}

}  // namespace zelvar
