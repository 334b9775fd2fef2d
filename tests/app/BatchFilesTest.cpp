// Batches and searches that reach the items' files, run the way a user runs them: the batch
// window of a real index, its popups chosen with the mouse, the folder typed into
// the real folder dialog, the Run button clicked, the files on disk looked at.

#include "AlertAnswer.h"
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CItemError.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "ErrorReport.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "StoredSettings.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

namespace {

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Types text into the widget key by key, characters beyond ASCII included.
void Type(QWidget* widget, const QString& text)
{
    for (QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// The widget a control shows: its face, or the pane itself.
QWidget* FaceOf(LControl* control)
{
    auto* pane = dynamic_cast<LControlPane*>(control);
    return pane && pane->GetControlWidget() ? pane->GetControlWidget() : static_cast<QWidget*>(control);
}

void Click(LControl* control)
{
    ASSERT_NE(control, nullptr);
    QTest::mouseClick(FaceOf(control), Qt::LeftButton);
}

QFileDialog* OpenFileDialog()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(top); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// While it lives, the program's question where a missing file went is answered
// with its Cancel button, as a user who knows the file is gone would.
class StCancelLocating {
public:
    StCancelLocating()
    {
        mTimer.setInterval(30);
        QObject::connect(&mTimer, &QTimer::timeout, [] {
            QFileDialog* dialog = OpenFileDialog();
            if (!dialog || dialog->findChild<QComboBox*>(QStringLiteral("MoveCopyOptions")))
                return;
            for (QDialogButtonBox* buttons : dialog->findChildren<QDialogButtonBox*>())
                if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel))
                    QTest::mouseClick(cancel, Qt::LeftButton);
        });
        mTimer.start();
    }

private:
    QTimer mTimer;
};

// The program as a user starts it, with an index of the given files.
class BatchFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = TestTempDir() + QStringLiteral("/batch-%1").arg(++sCount);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        SetPrefValue(kLastBatchSettingsKey, QVariant());
        SetErrorNotificationPoster([this](const SErrorReport& report) { reports.push_back(report); });
        app = MakeProgramWithoutIndex();
    }
    void TearDown() override
    {
        delete CSearchWindow::GetSearchWindow();
        CloseIndexDocumentsUnsaved();
        app.reset();
        SetErrorNotificationPoster(nullptr);
        SetPrefValue(kLastBatchSettingsKey, QVariant());
    }

    CIndexDoc* IndexOf(const QStringList& files)
    {
        app->MakeNewDocument();
        CIndexDoc* document = OpenIndexDocuments().back();
        for (const QString& file : files)
            document->AddItem(QUrl::fromLocalFile(file));
        EXPECT_TRUE(RunUntil([&] { return IsIdle(document) && document->GetModel().CountAllItems() == files.size(); }));
        document->GetWindow()->Select();
        return document;
    }
    CIndexItem* ItemNamed(CIndexDoc* document, const QString& name)
    {
        CIndexModel& model = document->GetModel();
        for (SInt32 i = 1; i <= model.CountAllItems(); ++i) {
            CIndexItem* item = nullptr;
            if (model.GetItemAt(i, item) && item && item->GetName() == name)
                return item;
        }
        return nullptr;
    }
    CIndexItem* OnlyItem(CIndexDoc* document)
    {
        CIndexItem* item = nullptr;
        EXPECT_TRUE(document->GetModel().GetItemAt(1, item));
        return item;
    }

    // The batch window of the index, reopened fresh, its first row set to the field and
    // operation of those menu texts.
    CSearchView* BatchRow(CIndexDoc* document, const QString& field, const QString& operation)
    {
        delete CSearchWindow::GetSearchWindow();
        SetPrefValue(kLastBatchSettingsKey, QVariant()); // a first batch: one row of its own
        IndexViewOfDocument(document)->ProcessCommand(cmd_BatchWindow, nullptr);
        CSearchWindow* window = CSearchWindow::GetSearchWindow();
        EXPECT_NE(window, nullptr);
        if (!window)
            return nullptr;
        EXPECT_TRUE(window->IsVisible());
        CSearchView* row = window->GetRows().front();
        ChooseInPopup(ComboOf(row->GetCategoryPopup()), field);
        ChooseInPopup(ComboOf(row->GetSelectorPopup()), operation);
        return row;
    }
    // Chooses the folder of a copy or move step in the real dialog: the conflict choice
    // from its popup, the folder's path typed, the accept button clicked.
    void ChooseFolder(CSearchView* row, const QString& conflictChoice, const QString& folder)
    {
        // The entry opens the dialog and gives way to the folder once it is chosen.
        ChooseInPopup(ComboOf(row->GetValuePopup()), QStringLiteral("Choose…"), false);
        QFileDialog* dialog = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (dialog = OpenFileDialog()) != nullptr; }));
        ChooseInPopup(dialog->findChild<QComboBox*>(QStringLiteral("MoveCopyOptions")), conflictChoice);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        // The user's typing goes to the name field with the dialog in front.
        dialog->activateWindow();
        name->setFocus();
        ASSERT_TRUE(RunUntil([&] { return name->hasFocus(); })) << "the name field has no focus";
        Type(name, folder);
        // The completer's list of folders closes as the user's Escape would close it.
        if (QWidget* completions = QApplication::activePopupWidget())
            QTest::keyClick(completions, Qt::Key_Escape);
        QPushButton* accept = nullptr;
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == dialog->labelText(QFileDialog::Accept))
                accept = button;
        ASSERT_NE(accept, nullptr);
        QTest::mouseClick(accept, Qt::LeftButton);
        ASSERT_TRUE(RunUntil([&] { return OpenFileDialog() == nullptr; }));
        ASSERT_EQ(ComboOf(row->GetValuePopup())->currentText(), QFileInfo(folder).fileName());
    }
    // Clicks Run (answering the question about changing the media with Yes, by its
    // button) and waits for the batch to end.
    void Run(CIndexDoc* document, const QString& result)
    {
        CSearchWindow* window = CSearchWindow::GetSearchWindow();
        ChooseInPopup(ComboOf(window->GetResultPopup()), result);
        QTimer answerer;
        answerer.setInterval(30);
        QObject::connect(&answerer, &QTimer::timeout, [] {
            if (LDialogBox* alert = FindOpenDialog())
                if (auto* yes = dynamic_cast<LControl*>(alert->FindPaneByID(alert->GetDefaultButtonID())))
                    QTest::mouseClick(FaceOf(yes), Qt::LeftButton);
        });
        answerer.start();
        Click(window->GetRunButton());
        EXPECT_FALSE(window->IsVisible()) << "the batch did not start";
        EXPECT_TRUE(RunUntil([&] { return document->GetModel().CountRunningSearches() == 0 && IsIdle(document); }))
            << TaskTitles().toStdString();
        ProcessEventsFor(200);
    }
    bool ReportedBatchErrors() const
    {
        return std::any_of(reports.begin(), reports.end(),
            [](const SErrorReport& r) { return r.listID == 500 && r.messageIndex == kMsgBatchProcess - 100000; });
    }

    static inline int sCount = 0;
    QString dir;
    std::vector<SErrorReport> reports;
    std::unique_ptr<COrvexApp> app;
};

const QString kReplace = QStringLiteral("Replace it");
const QString kKeepBoth = QStringLiteral("Keep both");
const QString kSkip = QStringLiteral("Skip the file");

} // namespace

TEST_F(BatchFiles, AMoveOrCopyNeverLosesTheFileAlreadyInTheFolderAndReplacesOnlyWhenAsked)
{
    const QStringList photos = CameraPhotos();
    ASSERT_GE(photos.size(), 2);
    const QByteArray photo = Contents(photos[0]), other = Contents(photos[1]);
    const QByteArray users = QByteArray("the user's own trip_01.jpg, ") + Contents(photos[1]);

    struct Case {
        QString operation, choice;
    };
    const Case cases[] = {
        {QStringLiteral("move to folder"), kSkip}, {QStringLiteral("move to folder"), kKeepBoth},
        {QStringLiteral("move to folder"), kReplace}, {QStringLiteral("copy to folder"), kSkip},
        {QStringLiteral("copy to folder"), kKeepBoth}, {QStringLiteral("copy to folder"), kReplace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.operation + QStringLiteral(", ") + c.choice).toStdString());
        const QString from = dir + QStringLiteral("/in-%1").arg(&c - cases);
        const QString album = dir + QStringLiteral("/album-%1").arg(&c - cases);
        Write(from + QStringLiteral("/trip_01.jpg"), photo);
        Write(from + QStringLiteral("/trip_02.jpg"), other);
        Write(album + QStringLiteral("/trip_01.jpg"), users);
        reports.clear();

        CIndexDoc* document = IndexOf({from + QStringLiteral("/trip_01.jpg"), from + QStringLiteral("/trip_02.jpg")});
        CSearchView* row = BatchRow(document, QStringLiteral("file state"), c.operation);
        ASSERT_NE(row, nullptr);
        ChooseFolder(row, c.choice, album);
        if (HasFatalFailure())
            return; // never run a batch into a folder the user did not choose
        Run(document, QStringLiteral("Catalogue Only"));

        const bool move = c.operation.startsWith(QLatin1String("move"));
        QStringList expected {QStringLiteral("trip_01.jpg"), QStringLiteral("trip_02.jpg")};
        if (c.choice == kKeepBoth)
            expected.insert(0, QStringLiteral("trip_01 copy 1.jpg"));
        EXPECT_EQ(QDir(album).entryList(QDir::Files | QDir::Hidden), expected) << "nothing set aside stays behind";
        EXPECT_EQ(Contents(album + QStringLiteral("/trip_01.jpg")), c.choice == kReplace ? photo : users);
        if (c.choice == kKeepBoth)
            EXPECT_EQ(Contents(album + QStringLiteral("/trip_01 copy 1.jpg")), photo);
        EXPECT_EQ(Contents(album + QStringLiteral("/trip_02.jpg")), other);

        // A skipped file stays where it was, its item with it; the user chose it, so no error.
        const bool skipped = c.choice == kSkip;
        EXPECT_EQ(QFile::exists(from + QStringLiteral("/trip_01.jpg")), !move || skipped);
        // A file moved under a new name gives its item that name.
        const bool renamed = move && c.choice == kKeepBoth;
        CIndexItem* first = ItemNamed(document, renamed ? QStringLiteral("trip_01 copy 1.jpg") : QStringLiteral("trip_01.jpg"));
        ASSERT_NE(first, nullptr);
        if (move && !skipped)
            EXPECT_EQ(QFileInfo(first->GetURL().toLocalFile()).path(), album);
        else
            EXPECT_EQ(first->GetURL(), QUrl::fromLocalFile(from + QStringLiteral("/trip_01.jpg")));
        EXPECT_FALSE(ReportedBatchErrors());
        EXPECT_EQ(first->GetError(), nullptr);

        document->SetModified(false);
        document->AttemptClose(false);
        FlushDeletes();
    }
}

TEST_F(BatchFiles, ARenameItsFileCannotFollowLeavesTheItemAsItWasAndIsReported)
{
    const QStringList photos = CameraPhotos();
    ASSERT_GE(photos.size(), 1);
    const QByteArray photo = Contents(photos[0]);
    const QString a = dir + QStringLiteral("/a.jpg"), b = dir + QStringLiteral("/b.jpg");
    Write(a, photo);
    Write(b, "the user's own b.jpg");

    struct Case {
        const char* what;
        QString name;
        bool deleteFirst;
    };
    const Case cases[] = {
        // The operation keeps the extension: "b" names the item "b.jpg".
        {"a name another file has", QStringLiteral("b"), false},
        {"a name of 304 bytes in 154 characters", QString(150, QChar(0x00E9)), false},
        {"a file deleted before the batch", QStringLiteral("c"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reports.clear();
        CIndexDoc* document = IndexOf({a});
        std::optional<StCancelLocating> cancel;
        if (c.deleteFirst) {
            ASSERT_TRUE(QFile::remove(a));
            cancel.emplace();
        }
        CSearchView* row = BatchRow(document, QStringLiteral("name"), QStringLiteral("set to"));
        ASSERT_NE(row, nullptr);
        LEditText* value = row->GetTextField();
        ASSERT_NE(value, nullptr);
        Type(value->GetLineEdit(), c.name);
        Run(document, QStringLiteral("Catalogue and Files"));

        ASSERT_EQ(document->GetModel().CountAllItems(), 1);
        CIndexItem* item = OnlyItem(document);
        EXPECT_EQ(item->GetName(), QStringLiteral("a.jpg"));
        EXPECT_EQ(item->GetURL(), QUrl::fromLocalFile(a));
        EXPECT_NE(item->GetError(), nullptr);
        EXPECT_TRUE(ReportedBatchErrors());
        EXPECT_EQ(Contents(b), QByteArray("the user's own b.jpg"));
        EXPECT_EQ(QDir(dir).entryList(QDir::Files),
            c.deleteFirst ? QStringList {QStringLiteral("b.jpg")} : (QStringList {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));

        document->SetModified(false);
        document->AttemptClose(false);
        FlushDeletes();
    }

    // The same batch with a name the file can take renames both.
    Write(a, photo);
    CIndexDoc* document = IndexOf({a});
    CSearchView* row = BatchRow(document, QStringLiteral("name"), QStringLiteral("set to"));
    ASSERT_NE(row, nullptr);
    Type(row->GetTextField()->GetLineEdit(), QStringLiteral("Ærø"));
    reports.clear();
    Run(document, QStringLiteral("Catalogue and Files"));
    CIndexItem* item = OnlyItem(document);
    EXPECT_EQ(item->GetName(), QStringLiteral("Ærø.jpg"));
    EXPECT_EQ(item->GetURL(), QUrl::fromLocalFile(dir + QStringLiteral("/Ærø.jpg")));
    EXPECT_EQ(Contents(dir + QStringLiteral("/Ærø.jpg")), photo);
    EXPECT_FALSE(ReportedBatchErrors());
}

// A search of every open index copies what it finds into a new index: a file that
// several of the indexes hold comes into it once.
TEST_F(BatchFiles, EveryOpenIndexCopiesEachFoundFileOnceIntoANewIndex)
{
    const QStringList photos = CameraPhotos().mid(0, 3);
    ASSERT_EQ(photos.size(), 3);
    const QString own = dir + QStringLiteral("/own.jpg");
    Write(own, Contents(photos[0]));
    IndexOf(photos);
    CIndexDoc* second = IndexOf(photos + QStringList {own});

    SetPrefValue(kLastSearchSettingsKey, QVariant());
    IndexViewOfDocument(second)->ProcessCommand(cmd_SearchWindow, nullptr);
    CSearchWindow* window = CSearchWindow::GetSearchWindow();
    ASSERT_NE(window, nullptr);
    ChooseInPopup(ComboOf(window->GetSourcePopup()), CopyLocalizedString(QStringLiteral("SEARCH_SOURCE_OPEN_INDEXES")));
    CSearchView* row = window->GetRows().front();
    ChooseInPopup(ComboOf(row->GetCategoryPopup()), QStringLiteral("name"));
    ChooseInPopup(ComboOf(row->GetSelectorPopup()), QStringLiteral("contains"));
    Type(row->GetTextField()->GetLineEdit(), QStringLiteral(".jpg"));
    Click(window->GetRunButton());
    ASSERT_TRUE(RunUntil([&] { return OpenIndexDocuments().size() == 3 && second->GetModel().CountRunningSearches() == 0; }));

    QStringList copied;
    for (CIndexItem* item : OpenIndexDocuments().back()->GetModel().GetAllItems())
        copied << item->GetURL().toLocalFile();
    copied.sort();
    QStringList files = photos + QStringList {own};
    files.sort();
    EXPECT_EQ(copied, files);
}
