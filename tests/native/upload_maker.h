#pragma once
#include <cstring>
#include <ctime>
#include <string>

#include "analysis/analysis_rows.h"
#include "analysis/encode_upload.h"
#include "analysis/upload_text.h"
#include "engine/model.h"
#include "shell/msgbox.h"
// Upload addresses made by the program's own upload code, for the results service's tests and
// load benchmark: the letters after the "?" of the address the program would hand the browser.

// A UTF-8 text (the service's) in a file whose narrow literals are GBK (the program's).
#define U8(text) reinterpret_cast<const char*>(u8##text)

struct UploadSpec {
    std::string mail = "me@host.com", pass = "secret1";
    float speeds[kTestCount] = {71.4f, 6.78f, 3.5f, 679.48f, 8.41f};
    uint32_t flags = 0;
    int16_t width = 1024, height = 768, bits = 16;
    std::string info = "CPU: x86\n";                           // GBK
    std::tm time = {7, 5, 9, 8, 11, 126, 0, 0, 0, 0, nullptr}; // 2026-12-08 09:05:07
    std::string url = "http://127.0.0.1:8642/upload";
};

namespace upload_maker {

struct Capture : UploadPlatform {
    std::tm time{};
    std::string address;
    bool ask_account() override { return false; }
    std::tm local_time() override { return time; }
    bool open_address(const std::string& a) override {
        address = a;
        return true;
    }
};

inline bool answer_yes(const char*) {
    return true;
}
inline void ignore(const char*) {}

} // namespace upload_maker

// The letters of the upload; an over-long machine text is cut as the user's "yes" cuts it.
inline std::string upload_letters(const UploadSpec& spec) {
    MachineRecord record{};
    std::memcpy(record.speeds, spec.speeds, sizeof record.speeds);
    record.option_flags = spec.flags;
    record.ddraw_width = spec.width;
    record.ddraw_height = spec.height;
    record.ddraw_bits = spec.bits;
    std::strncpy(record.info_text, spec.info.c_str(), sizeof record.info_text - 1);
    char settings[256];
    settings_text(spec.flags, settings, sizeof settings);
    upload_maker::Capture platform;
    platform.time = spec.time;
    const QuestionPresenter question = set_question_presenter(upload_maker::answer_yes);
    const MessagePresenter message = set_message_presenter(upload_maker::ignore);
    run_upload({spec.mail.c_str(), spec.pass.c_str(), &record, settings, spec.url.c_str()},
               platform);
    set_question_presenter(question);
    set_message_presenter(message);
    const size_t mark = platform.address.find('?');
    return mark == std::string::npos ? "" : platform.address.substr(mark + 1);
}

// Letters for any text, as the program encodes it.
inline std::string letters_of(const std::string& text) {
    const UploadLetters l = encode_upload(text.data(), text.size());
    return l.low + l.high;
}
