// A fresh, empty mail store for one test.
#pragma once

#include <optional>
#include <string>

namespace pelkary::test {

class TempStore {
public:
    // Creates a new empty directory under the system temp folder and sets MAILSTORE_DIR to it in
    // this process's environment (SetEnvironmentVariableW), so that mailstore.dll, which reads the
    // variable when its store is first opened, uses it. A failure is a test failure.
    TempStore();
    // Restores the previous MAILSTORE_DIR and removes the directory with everything in it. Every
    // object that holds the store open must be released first.
    ~TempStore();
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    // The directory, as a Windows path (e.g. C:\users\...\Temp\pelkary-store-...).
    const std::wstring& path() const noexcept { return path_; }

private:
    std::wstring path_;
    std::optional<std::wstring> previous_;
};

// The bytes of a file, or "<no file>" when it cannot be read.
std::string FileBytes(const std::wstring& path);

}  // namespace pelkary::test
