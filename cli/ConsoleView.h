#pragma once
// An export view for the command line: the destination mode is fixed when it
// is made, labels are not shown, and there is no window system to yield to.

#include "export/ExportView.h"

class ConsoleView : public ExportView {
public:
    explicit ConsoleView(bool newBookMode, QString existingBookText = QString());

    bool IsNewBookMode() const override;
    QString ExistingBookText() const override;
    QString DestinationPath() const override;
    QString NewBookPath() const override;
    void SetNewBookPath(const QString& path) override;
    void SetSaveHeader(const QString& text) override;
    void SetProcessing(const QString& text) override;
    void SetFound(const QString& text) override;
    void SetCurrent(const QString& text) override;
    void ShowSubject() override;
    void Yield() override;

private:
    bool newBookMode_;
    QString existingBookText_;
};
