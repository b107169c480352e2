#pragma once
// The parameters of one CVS operation: option bits and the complete request
// lines that a session or dialog prepares before the conversation starts.

#include <cstdint>
#include <vector>

#include "foundation/CString.h"

class CCVSJob {
public:
    enum : int { kPruneEmptyFolders = 0 };

    CCVSJob() = default;
    CCVSJob(CCVSJob const&) = delete;
    CCVSJob& operator=(CCVSJob const&) = delete;

    // Option bits 0..31; other numbers read as off and are not stored.
    bool Option(int n) const;
    void SetOption(int n, bool on);
    std::uint32_t Options() const { return mOptions; }

    // Appends a copy of a complete protocol line ("Argument -l\n"). A line is
    // one request: a line feed anywhere but at its end would smuggle further
    // requests onto the wire, so such a line is refused (a programming error,
    // reported as a failed check). A missing final line feed is supplied.
    // Returns whether the line was stored.
    bool AddLine(CString const& line);

    // Line i, or a null string outside 0..UsedLines()-1; senders read
    // AskLine(0), AskLine(1), ... until the null string.
    CString const& AskLine(int i) const;
    int UsedLines() const { return static_cast<int>(mLines.size()); }

private:
    std::uint32_t mOptions = 0;
    std::vector<CString> mLines;
};
