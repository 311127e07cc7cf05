#pragma once

#include "engine/BatchDriver.h"
#include "engine/Converter.h"

#include <QString>
#include <QStringList>

namespace pivana::test {

/// A converter that does real file work into its staging: the output holds the target's name
/// followed by the source's bytes.
Written copyConverter(const ConversionJob& job);

/// Writes `bytes` to `path`, failing the test when it cannot.
void writeFile(const QString& path, const QByteArray& bytes);

/// The same entry in every slot.
ConverterTable tableOf(const ConverterEntry& entry);

QStringList failedPaths(const ConversionResult& result);
/// Each file's reason in input order, "" for a file that converted.
QStringList reasons(const ConversionResult& result);

}  // namespace pivana::test
