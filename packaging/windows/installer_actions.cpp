// The installer's steps for the files an administrator gives it on the
// command line or in a transform: CONFIGFILE, the configuration, and
// PORTLIBRARY, the port maker's library.
//
// CheckGivenFiles (immediate, as the installing user, before anything is
// changed) copies each into a folder of its own under the user's temporary
// folder, so that what is judged is what gets installed and a share only
// that user may read still serves; it judges the configuration with the
// program's own reader and the library as the 32-bit program binds it, and
// fails the installation at the first fault, named in the installer's log.
// CopyGivenFiles (deferred, as the system, after the start-up task) puts
// them beside the program, replacing what is there, all or nothing.
// ForgetGivenFiles (rollback) removes the copies when the installation
// fails after the check.

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/run_log.h"
#include "base/text.h"
#include "config/configuration.h"
#include "platform/platform.h"
#include "ports/lumtor_ports.h"

namespace {

constexpr const char* configFileName = "SkarvelConfig.cfg";

class Installer {
public:
    explicit Installer(MSIHANDLE handle) : handle_(handle) {}

    std::string property(const char* name) const {
        DWORD length = 0;
        char none[1] = {};
        if (MsiGetPropertyA(handle_, name, none, &length) != ERROR_MORE_DATA) return {};
        std::string value(length + 1, '\0');
        length = static_cast<DWORD>(value.size());
        if (MsiGetPropertyA(handle_, name, value.data(), &length) != ERROR_SUCCESS) return {};
        value.resize(length);
        return value;
    }

    void setProperty(const char* name, const std::string& value) const {
        MsiSetPropertyA(handle_, name, value.c_str());
    }

    // One line in the installer's log; an error is also shown where the
    // installation has a user interface.
    void say(INSTALLMESSAGE kind, const std::string& text) const {
        const MSIHANDLE record = MsiCreateRecord(1);
        // The text as it is: field 0 would read "[...]" in it as a property.
        MsiRecordSetStringA(record, 0, "[1]");
        MsiRecordSetStringA(record, 1, text.c_str());
        MsiProcessMessage(handle_, kind, record);
        MsiCloseHandle(record);
    }

    UINT fail(const std::string& text) const {
        say(INSTALLMESSAGE_ERROR, "SkarvelConfig: " + text);
        return ERROR_INSTALL_FAILURE;
    }

private:
    MSIHANDLE handle_;
};

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A full path: a drive's ("C:\...") or a share's ("\\server\..."). The
// installer's folder is nobody's to guess.
bool isFullPath(const std::string& path) {
    const auto slash = [](char c) { return c == '\\' || c == '/'; };
    return (path.size() > 2 && path[1] == ':' && slash(path[2])) ||
           (path.size() > 2 && slash(path[0]) && slash(path[1]));
}

void removeFolder(const std::string& folder) {
    for (const char* name : {configFileName, windowsLibraryFileName}) {
        DeleteFileA((folder + "\\" + name).c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

std::optional<std::string> newStagingFolder() {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = std::string(temp) + "SkarvelConfig-" + std::to_string(GetCurrentProcessId()) +
                                   "-" + std::to_string(GetTickCount() + attempt);
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

// Why the configuration at `staged` cannot be installed, or nothing. Every
// unusable line goes to the log; the first is named.
std::optional<std::string> configurationFault(const Installer& installer, const std::string& staged) {
    base::RunLog log;
    const bool read = config::loadConfiguration(staged, log).has_value();
    if (read && log.lineCount() == 0) return std::nullopt;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = log.text().find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(log.text().substr(at, end - at));
    }
    if (!read) {
        std::string said = "the program's reader cannot read it:";
        for (const std::string& line : lines) said += " " + std::string(base::trimText(line));
        return said;
    }
    for (const std::string& line : lines) installer.say(INSTALLMESSAGE_INFO, "SkarvelConfig: CONFIGFILE: " + line);
    return "it has " + std::to_string(lines.size()) + " unusable line(s), each in this log; the first: " +
           lines.front();
}

// Why the library at `staged` cannot serve the 32-bit program, or nothing.
// Looked at without running it: the maker's own libraries it needs may come
// with the maker's driver, installed later.
std::optional<std::string> libraryFault(const std::string& staged) {
    const HMODULE library = LoadLibraryExA(staged.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!library) {
        if (GetLastError() == ERROR_BAD_EXE_FORMAT) {
            return "it is not a 32-bit Windows library: SkarvelConfig is a 32-bit program and needs the port "
                   "maker's 32-bit " + std::string(windowsLibraryFileName);
        }
        return "it cannot be loaded: " + platform::lastErrorText();
    }
    std::optional<std::string> fault;
    for (const char* name : lumtorFunctionNames) {
        if (!GetProcAddress(library, name)) {
            fault = "it lacks the function " + std::string(name);
            break;
        }
    }
    FreeLibrary(library);
    return fault;
}

UINT checkGivenFiles(MSIHANDLE handle) {
    const Installer installer(handle);
    struct Given {
        const char* property;
        const char* installedName;
    };
    const Given files[] = {{"CONFIGFILE", configFileName}, {"PORTLIBRARY", windowsLibraryFileName}};
    std::vector<std::pair<Given, std::string>> given;
    for (const Given& file : files) {
        const std::string path = installer.property(file.property);
        if (path.empty()) continue;
        if (!isFullPath(path)) {
            return installer.fail(std::string(file.property) + ": " + path +
                                  " is not a full path (C:\\... or \\\\server\\share\\...)");
        }
        given.emplace_back(file, path);
    }
    if (given.empty()) return ERROR_SUCCESS;

    const std::optional<std::string> staging = newStagingFolder();
    if (!staging) return installer.fail("no folder for the given files in the temporary folder: " +
                                        platform::lastErrorText());
    for (const auto& [file, path] : given) {
        const std::string staged = *staging + "\\" + file.installedName;
        std::optional<std::string> fault;
        if (!CopyFileA(path.c_str(), staged.c_str(), FALSE)) {
            fault = "it cannot be read: " + platform::lastErrorText();
        } else if (std::string_view(file.installedName) == configFileName) {
            fault = configurationFault(installer, staged);
        } else {
            fault = libraryFault(staged);
        }
        if (fault) {
            removeFolder(*staging);
            return installer.fail(std::string(file.property) + ": " + path + ": " + *fault);
        }
        installer.say(INSTALLMESSAGE_INFO, "SkarvelConfig: " + std::string(file.property) + ": " + path +
                                               " checked; it is installed as " + file.installedName);
    }
    // What the deferred steps are given, their only source of properties.
    installer.setProperty("CopyGivenFiles", *staging + "\t" + installer.property("INSTALLDIR"));
    installer.setProperty("ForgetGivenFiles", *staging);
    return ERROR_SUCCESS;
}

// Puts the staged files in place: each first copied beside its place, then
// the old one moved aside and the new one in (a library in use may be moved,
// not overwritten); a failure puts back what was there.
UINT copyGivenFiles(MSIHANDLE handle) {
    const Installer installer(handle);
    const std::string data = installer.property("CustomActionData");
    const std::size_t tab = data.find('\t');
    if (tab == std::string::npos) return ERROR_SUCCESS;
    const std::string staging = data.substr(0, tab);
    std::string folder = data.substr(tab + 1);
    if (!folder.empty() && folder.back() != '\\') folder += '\\';

    std::vector<std::string> names;
    for (const char* name : {configFileName, windowsLibraryFileName}) {
        if (exists(staging + "\\" + name)) names.push_back(name);
    }
    std::vector<std::string> copied, replaced, placed;
    const auto undo = [&](const std::string& why) {
        for (const std::string& name : placed) DeleteFileA((folder + name).c_str());
        for (const std::string& name : replaced) {
            MoveFileExA((folder + name + ".old").c_str(), (folder + name).c_str(), MOVEFILE_REPLACE_EXISTING);
        }
        for (const std::string& name : copied) DeleteFileA((folder + name + ".new").c_str());
        removeFolder(staging);
        return installer.fail(why);
    };
    for (const std::string& name : names) {
        if (!CopyFileA((staging + "\\" + name).c_str(), (folder + name + ".new").c_str(), FALSE)) {
            return undo(folder + name + " cannot be written: " + platform::lastErrorText());
        }
        copied.push_back(name);
    }
    for (const std::string& name : names) {
        const std::string target = folder + name;
        if (exists(target)) {
            if (!MoveFileExA(target.c_str(), (target + ".old").c_str(), MOVEFILE_REPLACE_EXISTING)) {
                return undo(target + " cannot be replaced: " + platform::lastErrorText());
            }
            replaced.push_back(name);
        }
        if (!MoveFileExA((target + ".new").c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return undo(target + " cannot be put in place: " + platform::lastErrorText());
        }
        placed.push_back(name);
    }
    for (const std::string& name : replaced) {
        const std::string old = folder + name + ".old";
        // A library still in use goes at the next start.
        if (!DeleteFileA(old.c_str())) MoveFileExA(old.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    removeFolder(staging);
    return ERROR_SUCCESS;
}

UINT forgetGivenFiles(MSIHANDLE handle) {
    const std::string staging = Installer(handle).property("CustomActionData");
    if (!staging.empty()) removeFolder(staging);
    return ERROR_SUCCESS;
}

} // namespace

extern "C" UINT __stdcall CheckGivenFiles(MSIHANDLE handle) { return checkGivenFiles(handle); }
extern "C" UINT __stdcall CopyGivenFiles(MSIHANDLE handle) { return copyGivenFiles(handle); }
extern "C" UINT __stdcall ForgetGivenFiles(MSIHANDLE handle) { return forgetGivenFiles(handle); }
