#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <new>
#include <optional>

#include "platform/platform.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/wildcard.h"

namespace platform {

namespace {

bool isFileEntry(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The first name in byte order in `dir` that matches `pattern`; "." and ".."
// take part like any other entry.
std::optional<std::string> firstMatchingName(const std::string& dir, std::string_view pattern) {
    DIR* stream = opendir(dir.c_str());
    if (!stream) return std::nullopt;
    std::optional<std::string> first;
    while (const dirent* entry = readdir(stream)) {
        const std::string_view name(entry->d_name);
        if (wildcardMatch(pattern, name) && (!first || name < *first)) first = std::string(name);
    }
    closedir(stream);
    return first;
}

} // namespace

bool firstMatchIsFile(const std::string& pattern) {
    if (pattern.empty()) return false;
    // Only the last component may hold wildcards; the directory is taken as written.
    const std::size_t slash = pattern.rfind('/');
    const std::string dirPrefix = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    const std::string_view namePattern = std::string_view(pattern).substr(dirPrefix.size());
    if (namePattern.find_first_of("*?") == std::string_view::npos) return isFileEntry(pattern);

    const auto name = firstMatchingName(dirPrefix.empty() ? "." : dirPrefix, namePattern);
    return name && isFileEntry(dirPrefix + *name);
}

void deleteFile(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))) unlink(path.c_str());
}

bool sameFile(const std::string& first, const std::string& second) {
    struct stat a, b;
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

ReadResult readWholeFile(const std::string& path) {
    // The largest file the reader takes: what a 32-bit program could hold.
    return readWholeFileUpTo(path, INT32_MAX);
}

ReadResult readWholeFileUpTo(const std::string& path, std::int64_t maxReadableSize) {
    ReadResult result;
    // Non-blocking, so that a FIFO without a writer cannot stall the run.
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return result;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return result;
    }
    try {
        if (info.st_size > maxReadableSize) throw std::bad_alloc();
        result.bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t filled = 0;
        for (;;) {
            if (filled == result.bytes.size()) {
                // The file may have grown since it was measured.
                if (static_cast<std::int64_t>(filled) >= maxReadableSize) {
                    char probe;
                    if (read(fd, &probe, 1) > 0) throw std::bad_alloc();
                    break;
                }
                const std::size_t grown = std::min<std::size_t>(filled + 65536, static_cast<std::size_t>(maxReadableSize));
                result.bytes.resize(grown);
            }
            const ssize_t got = read(fd, result.bytes.data() + filled, result.bytes.size() - filled);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                close(fd);
                result.bytes.clear();
                return result;
            }
            if (got == 0) break;
            filled += static_cast<std::size_t>(got);
        }
        result.bytes.resize(filled);
        result.status = ReadStatus::ok;
    } catch (const std::bad_alloc&) {
        result.bytes = std::string();
        result.status = ReadStatus::outOfMemory;
    }
    close(fd);
    return result;
}

FileWitness::FileWitness(const std::string& path) : path_(path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd < 0) return;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return;
    }
    handle_ = fd;
    volume_ = info.st_dev;
    index_ = info.st_ino;
    before_ = readWholeFile(path);
}

FileWitness::~FileWitness() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool FileWitness::unchanged(const ReadResult& now) const {
    struct stat info;
    return handle_ >= 0 && before_.status == ReadStatus::ok && now.status == ReadStatus::ok &&
           stat(path_.c_str(), &info) == 0 && info.st_dev == volume_ && info.st_ino == index_ &&
           now.bytes == before_.bytes;
}

NewFile::NewFile(const std::string& path) : handle_(-1), path_(path) {
    // Non-blocking open, so that a FIFO without a reader fails instead of
    // waiting; writing then goes on in the ordinary blocking way.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    handle_ = fd;
}

NewFile::~NewFile() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool NewFile::isOpen() const { return handle_ >= 0; }

void NewFile::discard() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    struct stat written, named;
    // Only the plain file this wrote, still under its name: never a device,
    // a pipe, or what another program put there meanwhile.
    const bool ours = fstat(fd, &written) == 0 && S_ISREG(written.st_mode) && lstat(path_.c_str(), &named) == 0 &&
                      named.st_dev == written.st_dev && named.st_ino == written.st_ino;
    if (ours) unlink(path_.c_str());
    close(fd);
}

bool NewFile::write(std::string_view bytes) {
    if (handle_ < 0) return false;
    while (!bytes.empty()) {
        const ssize_t done = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

} // namespace platform
