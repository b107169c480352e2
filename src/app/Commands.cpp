#include "app/Commands.h"

std::vector<SMenuDesc> const& MenuTable()
{
    static std::vector<SMenuDesc> const table = {
        {"File",
         {
             {kCmdOpen, "Open Sandbox\xC9", "Ctrl+O"},
             {kCmdClose, "Close", "Ctrl+W"},
             {kCmdNothing, nullptr, nullptr},
             {kCmdCheckout, "Checkout\xC9", nullptr},
             {kCmdExport, "Export\xC9", nullptr},
             {kCmdImport, "Import\xC9", nullptr},
             {kCmdListModules, "List Modules\xC9", nullptr},
             {kCmdNothing, nullptr, nullptr},
             {kCmdSaveLog, "Save Log", "Ctrl+S"},
             {kCmdPageSetup, "Page Setup\xC9", nullptr},
             {kCmdPrint, "Print\xC9", "Ctrl+P"},
             {kCmdNothing, nullptr, nullptr},
             {kCmdQuit, "Quit", "Ctrl+Q"},
         }},
        {"Edit",
         {
             {kCmdCopy, "Copy", "Ctrl+C"},
             {kCmdPaste, "Paste", "Ctrl+V"},
             {kCmdNothing, nullptr, nullptr},
             {kCmdSearchDirection, "Search Backwards", nullptr},
             {kCmdNothing, nullptr, nullptr},
             {kCmdLogin, "Login Profiles\xC9", nullptr},
             {kCmdPreferences, "Preferences\xC9", "Ctrl+,"},
         }},
        {"CVS",
         {
             {kCmdUpdate, "Update", "Ctrl+U"},
             {kCmdUpdate + 100, "Update\xC9", "Ctrl+Shift+U"},
             {kCmdCommit, "Commit", "Ctrl+K"},
             {kCmdCommit + 100, "Commit\xC9", "Ctrl+Shift+K"},
             {kCmdDiff, "Diff", "Ctrl+D"},
             {kCmdDiff + 100, "Diff\xC9", "Ctrl+Shift+D"},
             {kCmdLog, "Log", "Ctrl+L"},
             {kCmdLog + 100, "Log\xC9", "Ctrl+Shift+L"},
             {kCmdStatus, "Status", nullptr},
             {kCmdStatus + 100, "Status\xC9", nullptr},
             {kCmdNothing, nullptr, nullptr},
             {kCmdRescan, "Rescan", "Ctrl+R"},
             {kCmdStop, "Stop Operation", "Ctrl+."},
         }},
        {"Window",
         {
             {kCmdConsole, "Message Log", "Ctrl+1"},
             {kCmdCommentWindow, "Comment", "Ctrl+2"},
             {kCmdInspector, "Show Inspector", "Ctrl+I"},
         },
         true},
        {"Help",
         {
             {kCmdAbout, "About Fennelwright", nullptr},
             {kCmdAboutText, "Show Start-up Report", nullptr},
         }},
    };
    return table;
}
