#include "qt/qt_text.h"

#include "platform/text/code_page.h"

QString QStringFromAnsi(std::string_view ansi) { return QString::fromStdU16String(platform::AnsiToUtf16(ansi)); }

std::string AnsiFromQString(const QString& text) { return platform::Utf16ToAnsi(text.toStdU16String()); }
