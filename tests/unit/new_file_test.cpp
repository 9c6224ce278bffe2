// The file a log is written to.

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/program_runner.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace testing_support;

// It replaces whatever file had its name, and (where the platform can
// enforce it) nobody opens it while it is being written.
TEST(NewFile, ReplacesTheFileOfItsNameAndIsNotSharedWhileWritten) {
    ScratchDir scratch;
    const fs::path path = scratch / "x.log";
    writeFile(path, std::string(100, 'o'));
    {
        platform::NewFile file(path.string());
        ASSERT_TRUE(file.isOpen());
        ASSERT_TRUE(file.write("new"));
#ifdef _WIN32
        const HANDLE reader = CreateFileA(path.string().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
#endif
    }
    EXPECT_EQ(readFile(path), "new");
}
