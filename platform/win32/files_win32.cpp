#include <windows.h>

#include <climits>
#include <new>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr std::int64_t maxReadableSize = INT32_MAX;

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

} // namespace

bool firstMatchIsFile(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void deleteFile(const std::string& path) { DeleteFileA(path.c_str()); }

namespace {

// The volume and index that identify an existing file or folder, or false.
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
    const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &identity) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

bool sameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return fileIdentity(first, a) && fileIdentity(second, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

namespace {

std::uint64_t indexOf(const BY_HANDLE_FILE_INFORMATION& identity) {
    return static_cast<std::uint64_t>(identity.nFileIndexHigh) << 32 | identity.nFileIndexLow;
}

} // namespace

FileWitness::FileWitness(const std::string& path) : path_(path) {
    // An NTFS file index holds a sequence number: a file made in the old
    // one's place has another.
    BY_HANDLE_FILE_INFORMATION identity;
    if (!fileIdentity(path, identity) || (identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    volume_ = identity.dwVolumeSerialNumber;
    index_ = indexOf(identity);
    before_ = readWholeFile(path);
}

FileWitness::~FileWitness() = default;

bool FileWitness::unchanged(const ReadResult& now) const {
    BY_HANDLE_FILE_INFORMATION identity;
    return before_.status == ReadStatus::ok && now.status == ReadStatus::ok &&
           fileIdentity(path_, identity) && identity.dwVolumeSerialNumber == volume_ && indexOf(identity) == index_ &&
           now.bytes == before_.bytes;
}

ReadResult readWholeFile(const std::string& path) {
    ReadResult result;
    // Others may read the file meanwhile, but a writer keeps it from being opened.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return result;
    LARGE_INTEGER size;
    // Devices and pipes are no configuration files: reading them could wait forever.
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return result;
    }
    try {
        if (size.QuadPart > maxReadableSize) throw std::bad_alloc();
        result.bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t filled = 0;
        while (filled < result.bytes.size()) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(result.bytes.size() - filled);
            if (!ReadFile(file, result.bytes.data() + filled, want, &got, nullptr)) {
                CloseHandle(file);
                result.bytes.clear();
                return result;
            }
            if (got == 0) break;
            filled += got;
        }
        result.bytes.resize(filled);
        result.status = ReadStatus::ok;
    } catch (const std::bad_alloc&) {
        result.bytes = std::string();
        result.status = ReadStatus::outOfMemory;
    }
    CloseHandle(file);
    return result;
}

NewFile::NewFile(const std::string& path)
    : handle_(reinterpret_cast<std::intptr_t>(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                          FILE_ATTRIBUTE_NORMAL, nullptr))),
      path_(path) {}

NewFile::~NewFile() {
    if (isOpen()) CloseHandle(handleOf(handle_));
}

bool NewFile::isOpen() const { return handleOf(handle_) != INVALID_HANDLE_VALUE; }

void NewFile::discard() {
    if (!isOpen()) return;
    const bool plainFile = GetFileType(handleOf(handle_)) == FILE_TYPE_DISK;
    CloseHandle(handleOf(handle_));
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    // Nobody else can have opened it meanwhile: it was not shared.
    if (plainFile) DeleteFileA(path_.c_str());
}

bool NewFile::write(std::string_view bytes) {
    if (!isOpen()) return false;
    while (!bytes.empty()) {
        DWORD done = 0;
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        if (!WriteFile(handleOf(handle_), bytes.data(), chunk, &done, nullptr) || done == 0) return false;
        bytes.remove_prefix(done);
    }
    return true;
}

} // namespace platform
