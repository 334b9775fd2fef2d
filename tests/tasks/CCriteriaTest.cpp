#include "AliasRecord.h"
#include "CCriteria.h"
#include "FileRef.h"
#include "FileSystemRoutines.h"
#include "LDialogBox.h"
#include "Preferences.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <vector>

namespace {

class Heard : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override { messages.push_back(message); }
    std::vector<MessageT> messages;
};

class CCriteriaDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        criterion.AddListener(&heard);
    }
    void TearDown() override { FlushDeletes(); }

    CCriteria criterion { 4001, kSelectorContains, QString() };
    Heard heard;
};

} // namespace

TEST_F(CCriteriaDialogs, TheValueDialogStoresTheTypedTextOrChangesNothing)
{
    criterion.AskValue(QStringLiteral("Search Photos..."), nullptr);
    LDialogBox* dialog = criterion.GetValueDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FindPaneByID(kAskValuePrompt)->GetCFDescriptor(), QStringLiteral("Search Photos:"));
    dialog->FindPaneByID(kAskValueField)->SetCFDescriptor(QStringLiteral("Ελλάδα harbour"));
    QCoreApplication::processEvents();
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("ask-value.png");
    EXPECT_TRUE(dialog->GetShell()->grab().save(shot));

    dialog->ListenToMessage(msg_AskValueCancel, nullptr);
    EXPECT_EQ(criterion.GetValueDialog(), nullptr);
    EXPECT_EQ(criterion.GetValue(), QString());
    EXPECT_EQ(heard.messages, (std::vector<MessageT> { msg_CriteriaCancelled }));

    criterion.AskValue(QString(), nullptr);
    criterion.GetValueDialog()->FindPaneByID(kAskValueField)->SetCFDescriptor(QStringLiteral("Ελλάδα harbour"));
    criterion.GetValueDialog()->ListenToMessage(msg_AskValueOK, nullptr);
    EXPECT_EQ(criterion.GetValue(), QStringLiteral("Ελλάδα harbour"));
    EXPECT_EQ(heard.messages.back(), msg_CriteriaChosen);
}

TEST_F(CCriteriaDialogs, TheFolderDialogOffersTheRemoveBoxForAMoveOnlyAndKeepsItsChoices)
{
    const QString folder = TestTempDir();
    criterion.SetCategory(4021);
    criterion.SetSelector(kSelectorCopyToFolder);
    criterion.ChooseFolder(QString(), nullptr);
    ASSERT_NE(criterion.GetFileDialog(), nullptr);
    EXPECT_EQ(criterion.GetFileDialog()->findChild<QCheckBox*>(), nullptr);
    criterion.GetFileDialog()->reject();
    FlushDeletes();
    EXPECT_FALSE(criterion.HasKey(kCriteriaAliasKey));
    EXPECT_EQ(heard.messages, (std::vector<MessageT> { msg_CriteriaCancelled }));

    criterion.SetSelector(kSelectorMoveToFolder);
    criterion.ChooseFolder(QString(), nullptr);
    QFileDialog* dialog = criterion.GetFileDialog();
    ASSERT_NE(dialog, nullptr);
    auto* remove = dialog->findChild<QCheckBox*>(QStringLiteral("MoveRemoveSetting"));
    auto* options = dialog->findChild<QComboBox*>(QStringLiteral("MoveCopyOptions"));
    ASSERT_TRUE(remove && options);
    dialog->resize(640, 420);
    dialog->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("choose-folder.png")));
    dialog->hide();
    remove->setChecked(true);
    options->setCurrentIndex(options->findData(kConflictNone));
    dialog->setDirectory(folder);
    dialog->selectFile(folder);
    static_cast<QDialog*>(dialog)->accept();
    FlushDeletes();
    ASSERT_EQ(heard.messages.back(), msg_CriteriaChosen);
    EXPECT_EQ(criterion.GetNumber(kCriteriaMoveRemoveKey), 1);
    EXPECT_EQ(criterion.GetNumber(kCriteriaMoveCopyOptionsKey), SInt32(kConflictNone));
    EXPECT_EQ(GetPrefNumber(QStringLiteral("LastMoveCopyOptions")), SInt32(kConflictNone));
    QByteArray alias = criterion.GetData(kCriteriaAliasKey);
    FileRef target;
    bool changed = false;
    ASSERT_EQ(ResolveAliasBytes(nullptr, alias, target, changed), noErr);
    EXPECT_EQ(QDir(target.Path()).canonicalPath(), QDir(folder).canonicalPath());
}

TEST_F(CCriteriaDialogs, TheApplicationIsKeptByItsDesktopEntry)
{
    CCriteria open(4021, kSelectorOpenInApplication, QString());
    EXPECT_EQ(open.GetApplicationID(), QString());
    open.SetString(kCriteriaApplicationKey, QStringLiteral("org.example.Viewer.desktop"));
    EXPECT_EQ(open.GetApplicationID(), QStringLiteral("org.example.Viewer.desktop"));
}
