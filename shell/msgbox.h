#pragma once
#include "ui/printf_format.h"
// User messages: a printf-style modal box with one OK button, captioned "kalvit".

// Hides the welcome window, formats into a 1024-byte buffer (longer texts are cut) and shows
// it; once the box is closed, shows the welcome window again and drains what queued up meanwhile.
// Returns 1 then. When formatting fails it shows "QMsg error!" and returns 0 at once, leaving
// the welcome window hidden and nothing drained.
int QMsgBox(const char* format, ...) KALVIT_PRINTF(1, 2);

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

// A Yes/No question captioned "kalvit": true for Yes. The welcome window is treated as QMsgBox
// treats it. The program installs the Windows message box; tests install an answerer.
bool QMsgAsk(const char* gbk_text);
using QuestionPresenter = bool (*)(const char* gbk_text);
QuestionPresenter set_question_presenter(QuestionPresenter presenter); // returns the previous one

// What QMsgBox does to the welcome window around its box: hide it, and afterwards show it again
// and drain the queue. Both do nothing until the program installs its own; returns the previous.
struct WelcomeHooks {
    void (*hide)() = nullptr;
    void (*show_and_drain)() = nullptr;
};
WelcomeHooks set_welcome_hooks(WelcomeHooks hooks);
