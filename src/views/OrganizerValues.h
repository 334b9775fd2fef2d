#pragma once

#include "CIndexModel.h"
#include "MacTypes.h"

#include <QString>

#include <memory>
#include <vector>

class CCriteria;
class CIndexItem;
class CIndexView;
class CSearchTask;
class LWindow;
class QMimeData;

// What the organizer list does with the value index of an index model: which
// values get a row, what a row shows, and what a click, a rename or a drop does.
//
// A row names its value by (field key, value) only. Whenever it acts, it reads
// the value's items from the model's value index as they are then, so an item
// deleted after the row was made is never touched.

// Fields the organizer treats apart.
enum : SInt32 {
    kOrganizerNameField = 4001,
    kOrganizerKindField = 4004,
    kOrganizerWidthField = 4010,
    kOrganizerHeightField = 4011,
    kOrganizerDateCreatedField = 6013,
    kOrganizerKeywordsField = 6016,
    kOrganizerCategoriesField = 6017,
    kOrganizerRatingField = 6020,
    kOrganizerColourSpaceField = 4216,
};

// The preference that also lists values no item has.
inline constexpr const char* kShowEmptyKeysPref = "MDIShowEmptyKeys";

// Whether a value gets a row in its field's group: names only when three or more
// items share them (a name of its own says nothing), every rating, any other
// value when an item has it or showEmpty. The members are not counted whole.
bool OrganizerListsValue(SInt32 field, const ValueMembers& members, bool showEmpty);
// The values of a field that get rows, ordered as the rows are (case-insensitively).
std::vector<QString> OrganizerListedValues(const CIndexModel::ValueSets& sets, SInt32 field, bool showEmpty);
// Values put in the order of the rows.
void SortOrganizerValues(std::vector<QString>& values);

// A value row can be renamed (false for fields derived from the file).
bool OrganizerValueIsEditable(SInt32 field);
// Items dropped on a group are given a value asked for; never a rating (the
// ratings are the group's fixed rows) nor a field derived from the file.
bool OrganizerGroupAcceptsDrop(SInt32 field);
// Items dropped on a value row are given that value (a rating rates them).
bool OrganizerValueAcceptsDrop(SInt32 field);

// The value as its row shows it: a rating as its urgency label.
QString OrganizerValueText(SInt32 field, const QString& value);
// The filter's caption: the field's name and the value in double quotes, or the
// name and the urgency label for a rating. 'nilP' for a field without a name.
QString OrganizerFilterCaption(SInt32 field, const QString& value);
// The field's display name; 'nilP' when it has none.
QString OrganizerFieldName(SInt32 field);

// The items that have the value now; null when the field is not indexed or no
// item ever had it.
const ValueMembers* OrganizerMembers(const CIndexModel& model, SInt32 field, const QString& value);
qsizetype OrganizerMemberCount(const CIndexModel& model, SInt32 field, const QString& value);

// Shows the view's filter with the value's items, in the view's order. With add
// (Command held) the filter already shown keeps its items and the value's items
// join it, each item once however many of the values it has. Nothing while a
// task holds the filter locked.
void FilterToValue(CIndexView& view, SInt32 field, const QString& value, bool add);

// The batch step that gives items a value: keywords and categories are added to,
// any other field is set. An empty value is asked for when the batch starts.
std::unique_ptr<CCriteria> OrganizerSetCriterion(SInt32 field, const QString& value);

// Renames a value in every item that has it, as a batch task (started; the task
// layer deletes it at its end). Null, and no task, when the text is the value or
// no item has the value.
CSearchTask* StartValueRename(CIndexModel& model, SInt32 field, const QString& value, const QString& newText);
// Gives the dropped items the value, as a batch task; null without items.
CSearchTask* StartValueDrop(CIndexModel& model, SInt32 field, const QString& value, const std::vector<CIndexItem*>& items,
    LWindow* source);
// Asks for a value and gives it to the dropped items, as a batch task that starts
// once the value is given; null without items.
CSearchTask* StartGroupDrop(CIndexModel& model, SInt32 field, const std::vector<CIndexItem*>& items, LWindow* source);

// The items of the model a drag carries; empty for a drag without items of this index.
std::vector<CIndexItem*> DraggedIndexItems(const QMimeData& drag, const CIndexModel& model);
