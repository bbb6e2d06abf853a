#pragma once

#include "convert/options.h"

#include <QList>
#include <QString>
#include <QStringList>

class Console;
struct CoreServices;

// The batch of one converter call: the documents of the command line in the order given,
// folders walked as "Add All ODT Files In Folder" walks them, each with the output path
// that the window's save option gives it; and what it takes to tell which are done.

struct BatchEntry
{
    QString document;
    QString output;
};

struct Batch
{
    QList<BatchEntry> entries;
    /// Documents below the folders given that the walk leaves out (each named on the console).
    int leftOut = 0;
    /// Why the batch cannot start (two documents that would be saved as one file); "" when it can.
    QString clash;
};

/// Collects the batch (and its shard, with the count said on the console).
Batch CollectBatch(const ConvertOptions &options, const CoreServices &services, Console &console);

/// The paths of shard `shard` of `shards` (see ConvertOptions): the distinct paths sorted
/// by their characters, the same order on every machine whatever its language, and of
/// them those at the positions p (from 1) with p modulo shards equal to shard.
QStringList ShardPaths(const QStringList &paths, int shard, int shards);

/// True when the entry's output is newer than its document and whole: an empty or cut file
/// (a full disk, a copy that broke off) is no conversion.
bool UpToDate(const BatchEntry &entry, OutputFormat format);

/// --missing: each document without an up-to-date output on a line of its own, below the
/// current folder as "./..." whatever its name's first character, elsewhere as its whole
/// path. Returns the exit code: 1 when any is missing.
int ListMissing(const QList<BatchEntry> &entries, OutputFormat format, bool quiet);
