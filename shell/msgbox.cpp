#include "shell/msgbox.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {
void print_message(const char* gbk_text) { std::fprintf(stderr, "kalvit: %s\n", gbk_text); }

// Without a window to ask in, nothing goes on that was not agreed to.
bool print_question(const char* gbk_text) {
    print_message(gbk_text);
    return false;
}

MessagePresenter presenter = print_message;
QuestionPresenter question_presenter = print_question;
MessagePresenter plain_presenter = print_message;
WelcomeHooks welcome_hooks;
constexpr int kMessageSize = 1024;

void call(void (*hook)()) {
    if (hook != nullptr)
        hook();
}
} // namespace

WelcomeHooks set_welcome_hooks(WelcomeHooks hooks) { return std::exchange(welcome_hooks, hooks); }

MessagePresenter set_message_presenter(MessagePresenter next) {
    MessagePresenter previous = presenter;
    presenter = next != nullptr ? next : print_message;
    return previous;
}

MessagePresenter set_plain_message_presenter(MessagePresenter next) {
    MessagePresenter previous = plain_presenter;
    plain_presenter = next != nullptr ? next : print_message;
    return previous;
}

QuestionPresenter set_question_presenter(QuestionPresenter next) {
    return std::exchange(question_presenter, next != nullptr ? next : print_question);
}

bool QMsgAsk(const char* gbk_text) {
    call(welcome_hooks.hide);
    const bool yes = question_presenter(gbk_text);
    call(welcome_hooks.show_and_drain);
    return yes;
}

void plain_message_box(const char* gbk_text) {
    plain_presenter(gbk_text);
}

int QMsgBox(const char* format, ...) {
    call(welcome_hooks.hide);
    char text[kMessageSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) {
        presenter("QMsg error!");
        return 0;
    }
    presenter(text);
    call(welcome_hooks.show_and_drain);
    return 1;
}
