#pragma once
// The configuration file "kalvtetc.inf" in the install directory, and the texts read from it at
// start-up.

constexpr int kConfigTextSize = 128;
constexpr int kAboutLines = 32;

extern char visit_url[kConfigTextSize];    // [VISITUSURL]: the makers' web site
extern char upload_url[kConfigTextSize];   // [UPLOADURL]: the result-upload page
extern char login_url[kConfigTextSize];    // [LOGINURL]: the account login page
extern char contact_mail[kConfigTextSize]; // [CONTACTMAIL]: the support contact
extern char version_info[kConfigTextSize]; // [VERSIONINFO]: the main window's title
extern char writer_info[kConfigTextSize];  // [WRITERINFO]: author text in the upload letters
extern char about_info[kAboutLines][kConfigTextSize]; // [ABOUTINFO]: the information page text

// Scans the file from its start for the first line beginning with `field` and stores the
// following value lines in `dest`, which holds `lines` rows of kConfigTextSize bytes (one row:
// one text). Returns 1 when the name line was found, also for an empty value; 0 when the file
// cannot be opened (after telling the user) or has no such line.
int read_config_field(const char* field, char* dest, int lines);

// The start-up read: the identification line, then every field into its buffer. False when the
// file or its identification line is missing; the program cannot run then.
bool load_configuration();
