// SZDD compression: the Microsoft COMPRESS.EXE format ("SZDD\x88\xF0\x27\x33",
// mode 'A', the missing last character of the name, the 32-bit length, then
// LZSS over a 4096-byte window initialised with blanks, writing from 4080).
// The update-site tool packs components with it; the tests make real SZDD
// files with it.
#pragma once

#include <string>
#include <string_view>

namespace sorana::install {

// The SZDD file of `data`. `missingChar` is the name's last character that the
// compressed name replaces with "_" (0 when not recorded). Uses back-references
// wherever a match of 3 or more bytes lies in the window.
std::string SzddCompress(std::string_view data, char missingChar = '\0');

}  // namespace sorana::install
