#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "ui/CImageList.h"
#include "ui/IMainFrame.h"

// The main window as the panes see it, writing down what they ask of it.
class TestFrame : public IMainFrame {
public:
    void CopyToClipboard(const std::string& text) override { clipboard = text; }
    void SetMessageText(const QString& text) override { messages.push_back(text); }
    bool HasStatusLine() const override { return true; }
    void SetStatusLine(const QString& text) override { statusLines.push_back(text); }
    void ActivateNextPane(QWidget* from, bool back) override { paneMoves.emplace_back(from, back); }
    void ActivateView(QWidget*) override {}
    void PostCommand(int id) override { posted.push_back(id); }
    CImageList& GetImageList() override { return images; }

    QString LastMessage() const { return messages.empty() ? QString() : messages.back(); }
    QString LastStatusLine() const { return statusLines.empty() ? QString() : statusLines.back(); }

    std::string clipboard;
    std::vector<std::pair<QWidget*, bool>> paneMoves;
    std::vector<QString> messages;
    std::vector<QString> statusLines;
    std::vector<int> posted;
    CImageList images;
};
