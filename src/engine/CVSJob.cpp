#include "engine/CVSJob.h"

#include <cstring>

#include "foundation/Log.h"

bool CCVSJob::Option(int n) const
{
    if (n < 0 || n > 31)
        return false;
    return (mOptions >> n) & 1u;
}

void CCVSJob::SetOption(int n, bool on)
{
    if (!FW_CHECK(n >= 0 && n <= 31))
        return;
    if (on)
        mOptions |= (1u << n);
    else
        mOptions &= ~(1u << n);
}

bool CCVSJob::AddLine(CString const& line)
{
    if (!FW_CHECK(!line.IsNull()))
        return false;
    long len = line.Length();
    char const* text = line.c_str();
    char const* lf = static_cast<char const*>(std::memchr(text, '\n', static_cast<size_t>(len)));
    if (!FW_CHECK_MSG(lf == nullptr || lf == text + len - 1, "CCVSJob::AddLine(): line feed inside a request line"))
        return false;
    if (lf == nullptr) {
        CString whole(line);
        whole += '\n';
        mLines.push_back(whole);
    } else {
        mLines.push_back(line);
    }
    return true;
}

CString const& CCVSJob::AskLine(int i) const
{
    static CString const sNull;
    if (i < 0 || i >= UsedLines())
        return sNull;
    return mLines[static_cast<size_t>(i)];
}
