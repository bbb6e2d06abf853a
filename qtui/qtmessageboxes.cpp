#include "qtui/qtmessageboxes.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace {

// The program's texts break lines with CR LF and lone CRs; a label breaks at LF.
QString ForDisplay(QString text)
{
    return text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
}

int Show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
         QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, ForDisplay(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

} // namespace

QtMessageBoxes::QtMessageBoxes(QWidget *parent)
    : m_parent(parent)
{
}

void QtMessageBoxes::SetParent(QWidget *parent)
{
    m_parent = parent;
}

void QtMessageBoxes::SetApplicationTitle(const QString &title)
{
    m_title = title;
}

void QtMessageBoxes::Information(const QString &text)
{
    Show(m_parent, QMessageBox::NoIcon, m_title, text, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const QString &text)
{
    return Show(m_parent, QMessageBox::NoIcon, m_title, text, QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void QtMessageBoxes::ErrorReport(const QString &text)
{
    Show(m_parent, QMessageBox::Warning, u"Application Error"_s, text, QMessageBox::Ok);
}
