#pragma once
// The about window: the maker, the product and its version, how to reach the
// maker, and the legal notices. Shown modally over the main window and
// created afresh each time.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* owner);

    static constexpr int ClientWidth = 607;
    static constexpr int ClientHeight = 396;

    // The four contact rows, in the order shown.
    static constexpr const char* ContactCaptions[4]
        = {"Company Website", "Support Email", "Company Blog", "Knowledge Base"};
    static constexpr const char* ContactValues[4] = {"https://www.korvane.example", "support@korvane.example",
                                                     "https://blog.korvane.example", "https://kb.korvane.example"};

    QLabel* Image1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* CmdOk = nullptr;

    void CmdOk_Click();

    // The banner across the top of the window.
    static QPixmap banner(int width, int height);

protected:
    void showEvent(QShowEvent* event) override;
};
