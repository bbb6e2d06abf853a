#pragma once

#include <QString>
#include <QStringList>

class IDocumentList;
struct Services;

/// The "Add ODT Files" button: the multi-select dialog, its result split at NUL and appended.
void PushButton3_Click(const Services &services, IDocumentList &list);

/// Files and folders dropped onto the list, in the drop's order: a folder is walked and its
/// files appended whatever their extension; anything else is appended as it was dropped.
/// Dropped files are only read.
void DropOnList(const Services &services, IDocumentList &list, const QStringList &paths);
