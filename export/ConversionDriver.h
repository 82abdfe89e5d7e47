#pragma once
// The export run: opens the Outlook store again, prepares the destination
// address book, walks the ticked folders of Global::SelectedFolders and writes
// every distribution list as a Group and every other item as a Person
// document, keeping the view's labels up to date. It works over small
// interfaces (view, dialogs, store access) so that the export window, the
// command line and the tests drive the same code.

#include "app/global/Dialogs.h"
#include "export/ExportView.h"
#include "source/outlook/Outlook.h"

#include <QString>

#include <memory>
#include <optional>

class QWidget;

// How the run reaches its store. Each run has its own session: opened at the
// start, closed at the end.
class StoreAccess {
public:
    virtual ~StoreAccess() = default;
    // Opens the run's session. Throws outlook::OutlookError.
    virtual void Logon() = 0;
    // The store to export from. Throws outlook::OutlookError.
    virtual outlook::RDOStore FindStore() = 0;
    // Ends the session. Safe to call when Logon failed or never ran.
    virtual void Logoff() = 0;
};

// The store of the default profile whose entry identifier is
// Global::SelectedStoreID (the store the main window's tree shows).
class ProfileStoreAccess : public StoreAccess {
public:
    ProfileStoreAccess();
    ~ProfileStoreAccess() override;
    void Logon() override;
    outlook::RDOStore FindStore() override;
    void Logoff() override;

private:
    std::unique_ptr<outlook::RDOSession> session_;
};

// A data file opened directly by its path; the profile is left alone.
class FileStoreAccess : public StoreAccess {
public:
    explicit FileStoreAccess(QString path);
    void Logon() override;
    outlook::RDOStore FindStore() override;
    void Logoff() override;

private:
    QString path_;
};

// What one run did.
struct ExportOutcome {
    bool storeOpened = false;    // false: nothing was written at all
    qint64 personsWritten = 0;   // Person documents saved and filed
    qint64 groupsWritten = 0;    // Group documents saved and filed
    qint64 itemsFailed = 0;      // items that could not be read or written
    qint64 foldersFailed = 0;    // ticked folders that could not be opened or walked
    QString bookPath;            // the address book written to

    bool complete() const { return storeOpened && itemsFailed == 0 && foldersFailed == 0; }
};

class ConversionDriver {
public:
    ConversionDriver(ExportView& view, Dialogs& dialogs, StoreAccess& store, QWidget* owner = nullptr);

    // Whether the run ends with its message box (the default). The command
    // line reports in its own words instead.
    void setAnnounce(bool announce) { announce_ = announce; }

    // The whole run, from the start texts of the labels to the closing
    // message. Global::SelectedFolders is empty afterwards. Before the
    // message, the book written to is finished: its file alone holds every
    // document, and no handle on it is held. A failing address-book creation
    // ends the program through the dialogs.
    ExportOutcome Run();

private:
    bool OpenStore();
    void PrepareDestination();
    void ExportFolder(const outlook::RDOStore& store, const QString& entry);
    void ExportItem(const outlook::RDOItems& items, qint64 position);
    void ExportList(const outlook::RDOItems& items, const outlook::RDOItem& list, qint64 position);
    void ExportContact(const outlook::RDOItems& items, const outlook::RDOItem& contact, qint64 position);
    void ShowCounts(const outlook::RDOItems& items, qint64 position);
    void ShowFolder(const QString& name);
    void EndWriting();
    void Announce();

    ExportView& view_;
    Dialogs& dialogs_;
    StoreAccess& storeAccess_;
    QWidget* owner_;
    bool announce_ = true;
    std::optional<outlook::RDOStore> store_;
    ExportOutcome outcome_;
    // The folder name shown last, and the one shown beside the last item.
    QString folderShown_;
    std::optional<QString> folderOfItemShown_;
};

// The closing message of a run that reached its folders: the text, and the
// icon (information when nothing failed, warning otherwise). The title is
// "Export Complete" either way.
QString CompletionMessage(const ExportOutcome& outcome);
MsgIcon CompletionIcon(const ExportOutcome& outcome);

// The message of a run whose store could not be opened.
QString StoreFailureMessage();
