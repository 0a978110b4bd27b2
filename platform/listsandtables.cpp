// Rings' list items, text boxes, tables and pictures: the controls that hold
// more than one value.
#include "platform/listsandtables.h"
#include "platform/panelregistry.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTableWidget>
#include <algorithm>
#include <cmath>

void SeedRingValues(QComboBox *box) {
    const QStringList values = box->property("itemValues").toString().split(',', Qt::SkipEmptyParts);
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemData(i).isValid()) continue;
        bool ok = false;
        int v = i < values.size() ? values[i].trimmed().toInt(&ok) : i;
        box->setItemData(i, ok || i >= values.size() ? QVariant(v) : QVariant(values[i].trimmed()));
    }
}

int RingIndexOf(QComboBox *box, const QVariant &value) {
    for (int i = 0; i < box->count(); ++i) {
        QVariant d = box->itemData(i);
        if (value.typeId() == QMetaType::QString
                ? d.toString() == value.toString()
                : (d.typeId() != QMetaType::QString && d.toInt() == value.toInt()))
            return i;
    }
    return -1;
}

namespace {

QTableWidgetItem *CellItem(QTableWidget *t, Point cell, int *err) {
    if (cell.y < 1 || cell.y > t->rowCount() || cell.x < 1 || cell.x > t->columnCount()) {
        *err = UIE_INDEX_OUT_OF_RANGE;
        return nullptr;
    }
    QTableWidgetItem *item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        QSignalBlocker block(t);
        item = new QTableWidgetItem;
        item->setData(Qt::EditRole, 0);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    return item;
}

} // namespace

// ---- list items ------------------------------------------------------------------

namespace {

// Runs f on a ring and one of its items; UIE_INDEX_OUT_OF_RANGE for a bad index.
template <typename F> int WithItem(int panel, Ctrl c, int index, F f) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) {
        return index < 0 || index >= r->count() ? static_cast<int>(UIE_INDEX_OUT_OF_RANGE) : f(r);
    });
}

int InsertItem(int panel, Ctrl c, int index, const std::string &label, const QVariant &value) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) {
        if (index > r->count()) return static_cast<int>(UIE_INDEX_OUT_OF_RANGE);
        QSignalBlocker block(r);
        r->insertItem(index < 0 ? r->count() : index, QString::fromStdString(label), value);
        return 0;
    });
}
} // namespace

int InsertListItem(int panel, Ctrl c, int index, const std::string &label, int value) {
    return InsertItem(panel, c, index, label, value);
}

int InsertListItem(int panel, Ctrl c, int index, const std::string &label, const std::string &value) {
    return InsertItem(panel, c, index, label, QString::fromStdString(value));
}

int ReplaceListItem(int panel, Ctrl c, int index, const std::string &label, const std::string &value) {
    return WithItem(panel, c, index, [&](QComboBox *r) {
        QSignalBlocker block(r);
        r->setItemText(index, QString::fromStdString(label));
        r->setItemData(index, QString::fromStdString(value));
        return 0;
    });
}

int DeleteListItem(int panel, Ctrl c, int index, int count) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) -> int {
        if (index < 0 || index > r->count()) return UIE_INDEX_OUT_OF_RANGE;
        QSignalBlocker block(r);
        int end = count < 0 ? r->count() : std::min(r->count(), index + count);
        for (int i = end - 1; i >= index; --i)
            r->removeItem(i);
        return 0;
    });
}

int GetNumListItems(int panel, Ctrl c, int &count) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) { return count = r->count(), 0; });
}

int GetIndexFromValue(int panel, Ctrl c, int &index, const std::string &value) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) {
        return index = RingIndexOf(r, QVariant(QString::fromStdString(value))), 0;
    });
}

int GetIndexFromValue(int panel, Ctrl c, int &index, int value) {
    return WithCtrl<QComboBox>(panel, c,
                               [&](QComboBox *r) { return index = RingIndexOf(r, QVariant(value)), 0; });
}

int GetLabelFromIndex(int panel, Ctrl c, int index, std::string &label) {
    return WithItem(panel, c, index,
                    [&](QComboBox *r) { return label = r->itemText(index).toStdString(), 0; });
}

int GetValueFromIndex(int panel, Ctrl c, int index, std::string &value) {
    return WithItem(panel, c, index,
                    [&](QComboBox *r) { return value = r->itemData(index).toString().toStdString(), 0; });
}

int GetValueFromIndex(int panel, Ctrl c, int index, int &value) {
    return WithItem(panel, c, index, [&](QComboBox *r) { return value = r->itemData(index).toInt(), 0; });
}

int GetCtrlIndex(int panel, Ctrl c, int &index) {
    return WithCtrl<QComboBox>(panel, c, [&](QComboBox *r) { return index = r->currentIndex(), 0; });
}

int SetCtrlIndex(int panel, Ctrl c, int index) {
    return WithItem(panel, c, index, [&](QComboBox *r) {
        QSignalBlocker block(r);
        r->setCurrentIndex(index);
        return 0;
    });
}

// ---- text boxes --------------------------------------------------------------------

int ResetTextBox(int panel, Ctrl c, const std::string &text) {
    return WithCtrl<QPlainTextEdit>(panel, c, [&](QPlainTextEdit *t) {
        QSignalBlocker block(t);
        t->setPlainText(QString::fromStdString(text));
        return 0;
    });
}

namespace {
QStringList TextBoxLines(const QPlainTextEdit *t) {
    return t->toPlainText().isEmpty() ? QStringList() : t->toPlainText().split('\n');
}
} // namespace

int InsertTextBoxLine(int panel, Ctrl c, int index, const std::string &line) {
    return WithCtrl<QPlainTextEdit>(panel, c, [&](QPlainTextEdit *t) -> int {
        QStringList lines = TextBoxLines(t);
        if (index > lines.size()) return UIE_INDEX_OUT_OF_RANGE;
        QSignalBlocker block(t);
        lines.insert(index < 0 ? lines.size() : index, QString::fromStdString(line));
        t->setPlainText(lines.join('\n'));
        return 0;
    });
}

int GetNumTextBoxLines(int panel, Ctrl c, int &count) {
    return WithCtrl<QPlainTextEdit>(
        panel, c, [&](QPlainTextEdit *t) { return count = static_cast<int>(TextBoxLines(t).size()), 0; });
}

// ---- tables --------------------------------------------------------------------------

namespace {
// Runs f on a table cell's item (made when missing); UIE_INDEX_OUT_OF_RANGE outside the table.
template <typename F> int WithCell(int panel, Ctrl c, Point cell, F f) {
    return WithCtrl<QTableWidget>(panel, c, [&](QTableWidget *t) {
        int err = 0;
        QTableWidgetItem *item = CellItem(t, cell, &err);
        return item ? f(t, item) : err;
    });
}

// Runs f on a row's label item; UIE_INDEX_OUT_OF_RANGE outside the table.
template <typename F> int WithRowLabel(int panel, Ctrl c, int row, int attribute, F f) {
    return WithCtrl<QTableWidget>(panel, c, [&](QTableWidget *t) -> int {
        if (row < 1 || row > t->rowCount()) return UIE_INDEX_OUT_OF_RANGE;
        if (attribute != ATTR_LABEL_COLOR) return UIE_INVALID_ATTRIBUTE;
        QTableWidgetItem *header = t->verticalHeaderItem(row - 1);
        if (!header) {
            header = new QTableWidgetItem(QString::number(row));
            t->setVerticalHeaderItem(row - 1, header);
        }
        return f(header);
    });
}
} // namespace

int GetTableCellVal(int panel, Ctrl c, Point cell, double &value) {
    return WithCell(panel, c, cell, [&](QTableWidget *, QTableWidgetItem *item) {
        return value = item->data(Qt::EditRole).toDouble(), 0;
    });
}

int GetTableCellVal(int panel, Ctrl c, Point cell, int &value) {
    double v = 0;
    int r = GetTableCellVal(panel, c, cell, v);
    if (r == 0) value = static_cast<int>(v);
    return r;
}

int GetTableCellVal(int panel, Ctrl c, Point cell, unsigned short &value) {
    double v = 0;
    int r = GetTableCellVal(panel, c, cell, v);
    if (r == 0) value = static_cast<unsigned short>(std::clamp(v, 0.0, 65535.0));
    return r;
}

int SetTableCellVal(int panel, Ctrl c, Point cell, double value) {
    return WithCell(panel, c, cell, [&](QTableWidget *t, QTableWidgetItem *item) {
        QSignalBlocker block(t);
        if (value == std::floor(value) && std::fabs(value) < 2147483648.0)
            item->setData(Qt::EditRole, static_cast<int>(value));
        else
            item->setData(Qt::EditRole, value);
        return 0;
    });
}

int SetTableCellVal(int panel, Ctrl c, Point cell, int value) {
    return SetTableCellVal(panel, c, cell, static_cast<double>(value));
}

int GetNumTableRows(int panel, Ctrl c, int &rows) {
    return WithCtrl<QTableWidget>(panel, c, [&](QTableWidget *t) { return rows = t->rowCount(), 0; });
}

int GetNumTableColumns(int panel, Ctrl c, int &columns) {
    return WithCtrl<QTableWidget>(panel, c, [&](QTableWidget *t) { return columns = t->columnCount(), 0; });
}

int SetTableRowAttribute(int panel, Ctrl c, int row, int attribute, int value) {
    return WithRowLabel(panel, c, row, attribute, [&](QTableWidgetItem *header) {
        header->setForeground(ToQColor(value));
        header->setData(Qt::UserRole, value);
        return 0;
    });
}

int GetTableRowAttribute(int panel, Ctrl c, int row, int attribute, int &value) {
    return WithRowLabel(panel, c, row, attribute, [&](QTableWidgetItem *header) {
        QVariant v = header->data(Qt::UserRole);
        value = v.isValid() ? v.toInt() : VAL_BLACK;
        return 0;
    });
}

// ---- pictures -------------------------------------------------------------------------

int DisplayImageFile(int panel, Ctrl c, const std::string &path) {
    return WithCtrl<QLabel>(panel, c, [&](QLabel *l) -> int {
        QPixmap pixmap(QString::fromStdString(path));
        if (pixmap.isNull()) return UIE_FILE_NOT_FOUND;
        l->setPixmap(pixmap);
        return 0;
    });
}
