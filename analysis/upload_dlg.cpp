#include "analysis/upload_dlg.h"

#include <cstdio>
#include <string>

#include "analysis/account_rules.h"
#include "pages/help_topic.h"
#include "shell/msgbox.h"
#include "shell/profile.h"

bool QUploadDlg::on_init() {
    set_item_text(kMail, up_mail);
    set_item_text(kPassword, up_pass);
    set_item_text(kRepeat, up_pass);
    SetFocus(item(kMail));
    return false;
}

void QUploadDlg::on_ok() {
    const std::string mail = item_text(kMail);
    const std::string password = item_text(kPassword);
    const std::string repeated = item_text(kRepeat);
    if (const char* problem = account_problem(mail.c_str(), password.c_str(), repeated.c_str())) {
        QMsgBox("%s", problem);
        return;
    }
    // The checks bound both lengths well inside the profile's buffers.
    std::snprintf(up_mail, sizeof up_mail, "%s", mail.c_str());
    std::snprintf(up_pass, sizeof up_pass, "%s", password.c_str());
    end(IDOK);
}

bool QUploadDlg::on_command(int id, int code, HWND control) {
    switch (id) {
    case IDOK:
        on_ok();
        return true;
    case kHelpButton:
        if (code == BN_CLICKED)
            show_help_topic(nullptr, "c_klv_www_help.htm");
        return true;
    default:
        return ModalDialog::on_command(id, code, control);
    }
}
