#pragma once

#include <string>

namespace fidelity {

// Looks up the browser, scans its world folder and patches every listed file
// in `mode`, as the program does, and writes down every answer: the browser
// directory, each listed path with the patch result, and the count of files
// written. Bytes are written as hex, so that two reports compare exactly.
std::string LookUpScanAndPatch(int mode);

// Bytes as lower-case hex digits, as the report writes them.
std::string Hex(const std::string& bytes);

}  // namespace fidelity
