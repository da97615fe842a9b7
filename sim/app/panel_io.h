#pragma once
// The simulator's side of the program's devices: the LCD register file it watches,
// the key FIFO it writes state bytes into, and the UDP port it sends notifications to.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "util/file_descriptor.h"

// Milliseconds on the monotonic clock.
int64_t MonotonicMs();

// Creates an empty register file when none exists; false (with the reason) when
// the path cannot serve as one.
bool PrepareRegisterFile(const std::string& path, std::string& error);
// Creates the key FIFO when nothing exists at path; false when something else is there.
bool PrepareKeyFifo(const std::string& path, std::string& error);

// Turns C-style escapes (\n \t \r \\ \xHH) into their bytes; others stay as written.
std::string Unescape(const std::string& text);

// Writes key state bytes (bits 1, 2, 4; 0 all released) into the FIFO the program
// reads. Opens it on first use, so a program started later is found.
class KeyFifo {
public:
    explicit KeyFifo(std::string path) : m_path(std::move(path)) {}
    bool Send(unsigned char state, std::string& error);
    unsigned char State() const { return m_state; }

private:
    bool Open(std::string& error);

    std::string m_path;
    FileDescriptor m_fd;
    unsigned char m_state = 0;
};

// Sends notification datagrams to the program's port on 127.0.0.1.
class UdpSender {
public:
    explicit UdpSender(int port);
    bool Send(const std::string& text, std::string& error);
    int Port() const { return m_port; }

private:
    int m_port;
    FileDescriptor m_socket;
};

// Tells when the register file may have changed: inotify where it works, else (or
// while the file is gone) a cheap stat poll.
class RegisterWatch {
public:
    explicit RegisterWatch(std::string path);
    int Fd() const { return m_watch >= 0 ? m_inotify.Get() : -1; }  // poll for reading
    int PollIntervalMs() const { return m_watch >= 0 ? -1 : 200; }  // -1: wait on Fd
    // Drains pending events (or stats the file); true when it may have changed.
    bool TakeChange();

private:
    bool Watch();
    bool StatChanged();

    std::string m_path;
    FileDescriptor m_inotify;
    int m_watch = -1;
    timespec m_mtime{};
    off_t m_size = -1;
};
