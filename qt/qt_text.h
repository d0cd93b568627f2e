#pragma once

#include <QString>

#include <string>
#include <string_view>

// Window texts meet the program's ANSI strings here: the conversion itself is
// the platform's (platform/code_page.h).

// ANSI bytes of the current code page as a QString.
QString QStringFromAnsi(std::string_view ansi);

// A QString in the current ANSI code page ('?' for what it cannot hold).
std::string AnsiFromQString(const QString& text);
