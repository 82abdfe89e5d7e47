#pragma once
// The export window: choice of the destination address book and the progress
// of the export run.

#include "export/ConversionDriver.h"
#include "export/ExportView.h"
#include "export/PersonFields.h"

#include <QDialog>
#include <QElapsedTimer>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmSave : public QDialog, public ExportView {
    Q_OBJECT
public:
    // The export window, created (and loaded) on first use; it is unloaded
    // when closed and created afresh on the next use.
    static frmSave& instance(QWidget* owner = nullptr);
    // True while the window exists.
    static bool exists();
    ~frmSave() override;

    // Controls.
    QRadioButton* OptNewNSF;
    QLineEdit* txtNSFFileName;
    QPushButton* CmdNewNSF;
    QRadioButton* OptExistingNSF;
    QLineEdit* txtExNSFFileName;
    QPushButton* CmdExistingNSF;
    QGroupBox* ExportFrame;
    QLabel* ImgReadingArrow;
    QLabel* LblSaveHeader;
    QLabel* LblSubject;
    QLabel* LblProcessing;
    QLabel* LblFoundLabel;
    QLabel* LblFound;
    QLabel* LblCurrentLabel;
    QLabel* LblCurrent;
    QPushButton* CmdConversion;

    // Handlers.
    void OptNewNSF_Click();
    void OptExistingNSF_Click();
    void CmdNewNSF_Click();
    void CmdExistingNSF_Click();
    void txtNSFFileName_Change();
    void txtExNSFFileName_Change();
    void CmdConversion_Click();

    // Public methods other parts of the program call.
    void CreateNSF();
    bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt);
    bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt);

    // ExportView
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
    void ShowLatest() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    explicit frmSave(QWidget* owner);
    void Form_Load();
    void UpdateConversionButton(const QLineEdit* changed);
    void SetRunning(bool running);
    // The closing message of a run, and what becomes of the window.
    void Finish(const exporting::ExportOutcome& outcome);
    void SetLabel(QLabel* label, QString& pending, const QString& text);
    void ShowPendingLabels();

    bool running_ = false;
    // During a run the labels take their texts at most about 30 times a
    // second; the texts set meanwhile wait here.
    QString pendingSaveHeader_, pendingProcessing_, pendingFound_, pendingCurrent_;
    bool labelsPending_ = false;
    QElapsedTimer labelsShown_;
};
