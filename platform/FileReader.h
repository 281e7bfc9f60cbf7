// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Sequential reading of one file's bytes, for the search scan.

#include <QByteArray>

namespace platform {

class FileReader {
public:
    FileReader() = default;
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;
    ~FileReader();

    // Opens a regular file (or a link to one) for reading. Anything else (a
    // FIFO, a device, a folder) is refused without blocking. False when the
    // file cannot be opened (error() tells why). The folder of the last file
    // stays open, so that
    // files of one folder opened one after the other need no full path lookup;
    // the file is opened relative to it, so a path of any length opens. The
    // file's access time is left alone where the kernel allows it.
    // folder: when not -1, a descriptor of the file's folder (the caller's, and
    // kept open by it meanwhile): the file is opened relative to it by its
    // name alone, and the folder is not looked up by its path at all.
    bool open(const QByteArray &nativePath, int folder = -1);

    // Reads up to max bytes. Returns the count, 0 at the end of the file and -1
    // on an error. Knows the size from open(), so a small file needs one call.
    qsizetype read(char *buffer, qsizetype max);

    // True once the whole file has been returned.
    bool atEnd() const { return m_atEnd; }

    // Up to max of the file's last bytes, by the size known at open() (in
    // `size`), without moving where read() goes on; -1 when the size is not
    // known or the read fails.
    qsizetype readTail(char *buffer, qsizetype max, qint64 &size);

    // Goes back to the file's first byte; false when the file cannot seek.
    bool rewind();

    // The errno of the last open() or read() that failed; 0 after a success.
    // EAGAIN from open(): another process holds a lease on the file.
    int error() const { return m_error; }

    void close();
    // The open file's descriptor (the reader's: it stays open until close()), or -1.
    int descriptor() const { return m_fd; }
    // Closes the folder kept open too: one descriptor less while they are short.
    void release();

private:
    int m_fd = -1;
    int m_folderFd = -1; // the folder of the last file opened
    QByteArray m_folder; // its path, ending in the separator
    qint64 m_size = 0;   // size at open; 0 when the file system does not tell
    qint64 m_offset = 0; // bytes read so far
    bool m_atEnd = false;
    int m_error = 0;
};

} // namespace platform
