// Names and paths: unique and cryptic names, slash-path components, mode texts.
#pragma once

class CString;

// One candidate name from `base` (length-prefixed) and the caller's counter: below 2
// the base itself, else the base (cut to fit `maxLen`) followed by a blank and the
// counter. The counter is incremented. `out` holds 256 bytes.
void NewUniqueName(unsigned char const* base, unsigned short maxLen, unsigned long& counter,
                   unsigned char* out);

// A fresh name "Fennel.<counter>.<seconds>.<clock>" in lower-case hexadecimal.
void NewCrypticName(unsigned char* out);

// The first component of a slash-separated path. Returns its length (the index of the
// "/" or the end of the text), or -1 when it is longer than `maxLen` bytes (logged).
short BiteOffPathComponent(char const* path, CString& component, unsigned short maxLen);

// Mode texts of the protocol ("u=rw,g=r,o=r") and the nine POSIX permission bits.
unsigned short PrivsString2Bits(CString const& text);
// Full form (compact 0): "u=rw,g=r,o=r"; compact: only the letters ("rwrr").
CString PrivsBits2String(unsigned short bits, unsigned char compact);
