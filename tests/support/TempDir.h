// A fresh temporary directory for one test, removed with everything in it afterwards.
// ScopedCwd also makes it the working directory, because the program's files are plain names
// in the working directory.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string m_old;
};

// Reads a whole file into a string ("" when it cannot be read).
std::string ReadFileText(const std::string& path);
// Writes a whole file; aborts the test program on failure.
void WriteFileText(const std::string& path, const std::string& text);
