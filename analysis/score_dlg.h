#pragma once
#include "ui/dialog.h"
#include "ui/handles.h"
// "Tavoli测试结果": the MARK in large blue digits after a run with the standard settings.

class QScoreDlg : public ui::ModalDialog {
public:
    static constexpr int kTemplate = 168;

    QScoreDlg() : ModalDialog(kTemplate) {}

protected:
    bool on_init() override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void paint();
    ui::Font font_;
};
