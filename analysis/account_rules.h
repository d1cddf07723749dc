#pragma once
// The upload account: an e-mail address that becomes the account name on the makers' web site,
// and a password typed twice.

// After "@", "_", "." and "-" count as "0", every byte must be an ASCII digit or letter. An
// empty address passes.
bool mail_characters_valid(const char* mail);

// The first problem with the entries, as the message that tells the user, in the order the
// dialog checks them; null when the account can be stored.
const char* account_problem(const char* mail, const char* password, const char* repeated);
