#pragma once

#include <sys/stat.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "SameFile.h"


namespace zelvar {

class DurableFile;

// A write that failed, with the whole one-line message to show.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where decoded output goes: written in large blocks, every failure thrown as
// an OutputError naming the output.
//
// A regular file (or a name not yet taken) is written as a DurableFile
// beside it that replaces it only at commit(), keeping its mode, so a failed
// run never leaves half a file in place of an older one; a symbolic link is
// followed first, so the link stays and its target is replaced.
// Devices and pipes, stdout included, are written directly.
class OutputFile {
public:
    // A descriptor the process was given, such as stdout, written directly;
    // `name` completes the message "cannot write ...".
    OutputFile(int fd, std::string name);
    // The file `path`, refused when it is one of `inputs` by any name;
    // `name` is what messages call it, by default "hex output file 'path'".
    OutputFile(const std::string& path, const std::vector<FileIdentity>& inputs);
    OutputFile(const std::string& path, const std::vector<FileIdentity>& inputs,
               std::string name);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Without commit(), a temporary file is removed again.
    ~OutputFile();

    void write(std::string_view bytes);
    // Writes what is buffered and, for a temporary file, puts it in place.
    void commit();

    // The file's identity once open: that of what is written, or of the
    // file that commit() replaces.
    const FileIdentity& identity() const { return identity_; }

private:
    void open(const std::vector<FileIdentity>& inputs);
    void release();
    void flush();
    void writeOut(std::string_view bytes);
    [[noreturn]] void fail(int error) const;
    [[noreturn]] void fail(const std::string& reason) const;

    std::string name_;       // what messages call it
    std::string target_;     // the file that commit() replaces
    std::unique_ptr<DurableFile> replacement_;  // none when written directly
    int fd_ = -1;
    bool ownsFd_ = false;
    FileIdentity identity_;
    std::string buffer_;
};

}  // namespace zelvar
