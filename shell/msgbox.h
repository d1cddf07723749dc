#pragma once
// User messages: a printf-style modal box with one OK button, captioned "kalvit".

// Formats into a 1024-byte buffer (longer texts are cut) and shows it. Returns 1 after the box
// was shown and closed, 0 when formatting failed (then "QMsg error!" is shown instead).
int QMsgBox(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// The platform's message box as it is: the text unformatted, one OK button, caption "kalvit".
// Unlike QMsgBox it leaves the welcome window alone and drains no messages once it is closed, so
// a test that fails half-way is not re-entered before it has released what it holds.
void plain_message_box(const char* gbk_text);

// Whatever shows the formatted GBK text and waits for the user. The program installs the
// Windows message box; tests install a recorder so that nothing modal blocks them.
using MessagePresenter = void (*)(const char* gbk_text);
MessagePresenter set_message_presenter(MessagePresenter presenter); // returns the previous one
// The same for plain_message_box.
MessagePresenter set_plain_message_presenter(MessagePresenter presenter);
