#pragma once
#include <ctime>
#include <string>

#include "engine/model.h"
// The results handed to the makers' web site: a plain text of the account, the speeds and
// options, the machine information, the settings and the time, encoded into letters and appended
// to the upload page's address, which the user's browser then opens.

// What the upload reads. The account fields are read after the account step, which fills them
// when no address was stored.
struct UploadSource {
    const char* mail;
    const char* pass;
    const MachineRecord* current;
    const char* settings; // the analysis's settings text
    const char* url;      // the upload page, used as it is
};

// What the upload needs of the platform.
class UploadPlatform {
public:
    virtual ~UploadPlatform() = default;
    // The account dialog, run modally; true when it ended with OK.
    virtual bool ask_account() = 0;
    virtual std::tm local_time() = 0;
    // Hands the address to the browser; false when the shell could not open it.
    virtual bool open_address(const std::string& address) = 0;
};

enum class UploadOutcome {
    kOpened,
    kBadMail,     // the stored address holds a character it must not
    kNoAccount,   // the account dialog was cancelled
    kDeclined,    // the text was too long and the user chose not to go on
    kNoRoom,      // the upload page's address leaves no room for the machine information
    kShellFailed, // the browser could not be asked
};

// The address may carry this many characters of url and letters before the "?", the settings
// text's line feed and the time stamp are counted.
constexpr int kUploadLengthLimit = 1020;

// Asks and tells the user through QMsgAsk and QMsgBox.
UploadOutcome run_upload(const UploadSource& source, UploadPlatform& platform);
