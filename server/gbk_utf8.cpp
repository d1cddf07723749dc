#include "server/gbk_utf8.h"

#include <iconv.h>

#include <cerrno>

namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::string_view text) {
        if (!ok())
            return std::nullopt;
        std::string out(text.size() * 4 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        size_t in_left = text.size();
        char* to = out.data();
        size_t out_left = out.size();
        if (iconv(cd_, &in, &in_left, &to, &out_left) == static_cast<size_t>(-1) ||
            iconv(cd_, nullptr, nullptr, &to, &out_left) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - out_left);
        return out;
    }

private:
    iconv_t cd_;
};

} // namespace

std::optional<std::string> gbk_to_utf8(std::string_view gbk) {
    return Converter("UTF-8", "GBK").convert(gbk);
}

bool valid_utf8(std::string_view text) {
    return Converter("UTF-16LE", "UTF-8").convert(text).has_value();
}
