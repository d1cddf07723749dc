#include "analysis/upload.h"

#include <shellapi.h>

#include "analysis/upload_dlg.h"
#include "analysis/upload_text.h"
#include "engine/model.h"
#include "shell/config_file.h"
#include "shell/profile.h"
#include "sysinfo/machine_info_win.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace {
class ShellUpload : public UploadPlatform {
public:
    explicit ShellUpload(HWND owner) : owner_(owner) {}
    bool ask_account() override {
        QUploadDlg dialog;
        return dialog.run(owner_) == IDOK;
    }
    std::tm local_time() override { return local_time_now(); }
    bool open_address(const std::string& address) override {
        return ui::shell_open(owner_, address.c_str());
    }

private:
    HWND owner_;
};
} // namespace

void upload_results(HWND analysis_dialog, const char* settings) {
    ShellUpload platform(analysis_dialog);
    const UploadSource source{up_mail, up_pass, &current_system_entry(), settings, upload_url};
    run_upload(source, platform);
}
