#pragma once

#include "CCriteria.h"
#include "LView.h"
#include "SearchEditors.h"

#include <QVariantMap>

#include <memory>

class CDatePane;
class LEditText;
class LMenu;
class LStdPopupMenu;

// Messages of a criteria row.
inline constexpr MessageT msg_RowCategory = 'crit'; // the user chose a field
inline constexpr MessageT msg_RowRebuild = 'synt';  // show the chosen field's editor, keeping the value
inline constexpr MessageT msg_RowSelector = 'sele';
inline constexpr MessageT msg_RowValueMenu = 'vsel';
inline constexpr MessageT msg_RowFieldValue = 'vinp';
inline constexpr MessageT msg_RowToggleField = 9006; // a typed value, or another field of the item

// One row of the search window's Search panel: a field, an operator and a value,
// the editor's shape following the field. The row owns a criterion that keeps
// the dictionary it was given, so that keys it does not edit survive a round trip.
class CSearchView : public LView, public LListener {
public:
    static constexpr ClassIDT class_ID = 'sviw';

    explicit CSearchView(const LLayoutData& data);
    ~CSearchView() override;

    // The row-th field of the field menu (from 1), separators stepped over.
    void SetDefaultCategory(SInt32 row);
    // Shows a stored criterion: field, operator and value, or the field the value names.
    void SetFromDictionary(const QVariantMap& dictionary);
    // A new criterion from what the row shows.
    std::unique_ptr<CCriteria> MakeCriteria();
    QVariantMap CopyCriteriaDictionary();

    void ListenToMessage(MessageT message, void* ioParam) override;

    SInt32 GetCategory() const;
    SInt32 GetSelector() const;
    const QString& GetValueText() const { return mValueText; }
    ResIDT GetFieldMenuID() const { return mFieldMenuID; }
    ResIDT GetSelectorMenuID() const { return mSelectorMenuID; }
    ResIDT GetValueMenuID() const { return mValueMenuID; }
    // The kind of editor shown now.
    EEditorKind GetEditorKind() const { return mEditorKind; }

    // The row's panes (each may be missing from a layout).
    LStdPopupMenu* GetCategoryPopup() const { return mCategoryPopup; }
    LStdPopupMenu* GetSelectorPopup() const { return mSelectorPopup; }
    LStdPopupMenu* GetValuePopup() const { return mValuePopup; }
    LStdPopupMenu* GetFieldPopup() const { return mFieldPopup; }
    LEditText* GetTextField() const { return mTextField; }
    CDatePane* GetDateField() const { return mDateField; }
    LPane* GetValueArea() const { return mValueArea; }
    LPane* GetToggleButton() const { return mToggle; }
    // Whether a pane of the row is shown (whatever the window is doing).
    bool IsShownInRow(const LPane* pane) const;

protected:
    CSearchView(const LLayoutData& data, ResIDT fieldMenuID);
    void FinishCreateSelf() override;

    virtual void ShowEditor(SInt32 key);
    virtual void ShowTextEditor(SInt32 key);
    virtual void ShowKeywordsEditor(SInt32 key);
    virtual void ShowDateEditor(SInt32 key);
    virtual void ShowNumberEditor(SInt32 key);
    virtual void ShowExifTextEditor(SInt32 key) { ShowTextEditor(key); }
    virtual void ShowFlagEditor(SInt32 key);
    virtual void ShowShortTextEditor(SInt32 key);
    virtual void ShowMenuEditor(SInt32 key);
    virtual EEditorKind EditorKindOf(SInt32 key) const { return SearchEditorKind(key); }
    // A stored operator was chosen (quietly): editors that depend on it follow.
    virtual void SelectorRestored() {}

    // Shows the text field with the value text, a key filter and a length.
    void ShowTextField(SInt16 keyFilter, int maxChars);
    void HideTextField();
    void InstallSelectorMenu(ResIDT menuID, bool firstItem);
    void InstallValueMenu(const LMenu& menu);
    void ShowPane(LPane* pane, bool shown);
    bool IsDateTest() const;
    // The date field shows unless the operator is today or yesterday.
    void UpdateDateField();
    const LMenu* ValueMenu() const { return mValueMenu; }
    void ChooseValueItemFromText();

    CCriteria mCriteria;
    QString mValueText;
    ResIDT mFieldMenuID;
    ResIDT mSelectorMenuID = 0;
    ResIDT mValueMenuID = 0;
    EEditorKind mEditorKind = EEditorKind::None;
    std::unique_ptr<LMenu> mOwnValueMenu; // a value menu with items of the row's own
    const LMenu* mValueMenu = nullptr;

    LStdPopupMenu* mCategoryPopup = nullptr;
    LStdPopupMenu* mSelectorPopup = nullptr;
    LStdPopupMenu* mValuePopup = nullptr;
    LStdPopupMenu* mFieldPopup = nullptr;
    LPane* mValueArea = nullptr; // 'appi': the typed value's editors
    LEditText* mTextField = nullptr;
    CDatePane* mDateField = nullptr;
    LPane* mToggle = nullptr; // 'isel'
};

// One row of the Batch panel: a field, an action and its operand. Copying, moving
// and opening files (field 4021) choose their folder or application here.
class CBatchView : public CSearchView {
public:
    static constexpr ClassIDT class_ID = 'bviw';

    explicit CBatchView(const LLayoutData& data);

    void ListenToMessage(MessageT message, void* ioParam) override;

    // The folder or application chosen for the file action (empty for none), as
    // the action editor shows it.
    QString GetTargetName() const { return mTargetName; }

protected:
    void ShowEditor(SInt32 key) override;
    void ShowTextEditor(SInt32 key) override;
    void ShowKeywordsEditor(SInt32 key) override;
    void ShowDateEditor(SInt32 key) override;
    void ShowNumberEditor(SInt32 key) override;
    void ShowFlagEditor(SInt32 key) override;
    void ShowShortTextEditor(SInt32 key) override;
    void ShowMenuEditor(SInt32 key) override;
    EEditorKind EditorKindOf(SInt32 key) const override { return BatchEditorKind(key); }
    void SelectorRestored() override;

private:
    void ShowActionEditor();
    void DropTargetKeys(SInt32 action);
    void ChooseTarget();

    QString mTargetName;
};

// The name and icon of an application (its desktop entry's id) or of a folder, as
// the action editor shows them. False when neither can be found.
bool DescribeApplication(const QString& desktopID, QString& outName, QIcon& outIcon);
bool DescribeFolder(const QByteArray& aliasBytes, QString& outName, QIcon& outIcon);
