#pragma once
// Reading and writing the working files of a check, by raw path.
// Failures come back as errno values; nothing here shows a message.

#include <QByteArray>
#include <QByteArrayView>

#include <initializer_list>

namespace gw {

// Writes all of `bytes` to the open file `fd`. Returns 0 or an errno value.
int writeAll(int fd, QByteArrayView bytes);

bool fileExists(const QByteArray& path);
void removeFile(const QByteArray& path); // failures are ignored

// Reads the whole file. Returns 0 or an errno value.
[[nodiscard]] int readWholeFile(const QByteArray& path, QByteArray& contents);

// Appends `bytes` in one write (creating the file with mode 0600), so that
// the text never interleaves with other programs appending to the file.
[[nodiscard]] int appendOnce(const QByteArray& path, const QByteArray& bytes);

// Replaces the file with `bytes` through a temporary file in the same folder
// and a rename, mode 0600. On failure nothing is left: neither the temporary
// file nor the earlier file at `path`. Returns 0 or an errno value.
[[nodiscard]] int replaceFile(const QByteArray& path, std::initializer_list<QByteArrayView> parts);
inline int replaceFile(const QByteArray& path, const QByteArray& bytes)
{
    return replaceFile(path, {QByteArrayView(bytes)});
}

} // namespace gw
