#include "shell/msgbox.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace {
void print_message(const char* gbk_text) { std::fprintf(stderr, "kalvit: %s\n", gbk_text); }

MessagePresenter presenter = print_message;
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
