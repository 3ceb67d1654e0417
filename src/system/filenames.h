#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names as the file system holds them (bytes) and as the program carries them (text).
//
// A path text names exactly one file, whatever bytes its name holds: bytes that form UTF-8
// are their characters, and every other byte b is the code U+DC00 + b, a lone surrogate that no
// UTF-8 text can hold. NativePath gives back the very bytes. Two names that look alike when
// shown (the same words in UTF-8 and in Shift_JIS) are therefore two different path texts.
namespace forms {

QString PathText(QByteArrayView bytes);
QByteArray NativePath(const QString& path);

// A name as the user reads it: UTF-8, else Shift_JIS (as old archives leave names), else
// UTF-8 with replacement characters.
QString DisplayName(QByteArrayView name);
// A path text as the user reads it: each name that holds bytes other than UTF-8 shown as
// DisplayName shows it.
QString DisplayPath(const QString& path);

}  // namespace forms
