#pragma once
#include "ui/dialog.h"
// "数据上传": the upload account, an e-mail address and a password typed twice. OK stores them in
// the profile values once every check passes; the close box and Escape leave them as they were.

class QUploadDlg : public ui::ModalDialog {
public:
    static constexpr int kTemplate = 174;
    static constexpr int kHelpButton = 3;
    static constexpr int kMail = 1085;
    static constexpr int kPassword = 1086;
    static constexpr int kRepeat = 1087;

    QUploadDlg() : ModalDialog(kTemplate) {}

protected:
    bool on_init() override;
    bool on_command(int id, int code, HWND control) override;

private:
    void on_ok();
};
