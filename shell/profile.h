#pragma once
// The per-user profile in the registry, HKCU\Software\Pelorin\kalvit\settings: read once at
// start-up, written when the main window closes. Registry failures are silent: a value that
// cannot be read takes its default, one that cannot be written is not stored.

// The account dialog takes 7 to 40 characters; the buffer leaves room beyond that.
constexpr int kUpMailSize = 64;
constexpr int kUpPassSize = 36;
extern char up_mail[kUpMailSize]; // upload account e-mail address
extern char up_pass[kUpPassSize]; // upload account password, kept as plain text

// install_dir (shell/app_globals.h), default "c:\kalvit".
void read_install_dir();
// pre_test_flag (its current value is the default), then up_mail and up_pass (default empty).
void read_profile_settings(int& pre_test_flag);
// pre_test_flag, install_dir, and up_mail with up_pass only when up_mail is not empty.
void write_profile(int pre_test_flag);
// install_dir alone, for the installation call.
void write_install_dir();
