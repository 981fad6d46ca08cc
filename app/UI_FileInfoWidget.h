#pragma once

#include "ui/base/UI_DockableWidget.h"

class QTextBrowser;

// Read-only view of the loaded files' headers. The text comes from the files
// and is always shown as plain text: a file's keywords are never markup.
class UI_FileInfoWidget : public UI_DockableWidget {
public:
    explicit UI_FileInfoWidget(QWidget* parent);
    ~UI_FileInfoWidget() override;

    void initUI();
    // Replaces the whole content with `text`.
    void setInfoText(QString text);

    QTextBrowser* textBrowser() const;

private:
    QTextBrowser* m_textBrowser = nullptr;
};
