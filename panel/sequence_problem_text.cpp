#include "panel/sequence_problem_text.h"

#include "rules/voltage_sequence.h"

#include <QCoreApplication>

using pelmora::FileType;
using pelmora::SequenceProblem;
using pelmora::SequenceProblemKind;

namespace {

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

QString FieldList() {
    return QStringLiteral("%1,%2,%3")
        .arg(FromStd(std::string(pelmora::kDwellField)),
             FromStd(std::string(pelmora::kPositiveField)),
             FromStd(std::string(pelmora::kNegativeField)));
}

QString FileTypeText(FileType type) {
    switch (type) {
    case FileType::Directory:
        return QCoreApplication::translate("SequenceProblem", "フォルダー");
    case FileType::NamedPipe:
        return QCoreApplication::translate("SequenceProblem", "名前付きパイプ (FIFO)");
    case FileType::CharacterDevice:
        return QCoreApplication::translate("SequenceProblem", "キャラクターデバイス");
    case FileType::BlockDevice:
        return QCoreApplication::translate("SequenceProblem", "ブロックデバイス");
    case FileType::Socket:
        return QCoreApplication::translate("SequenceProblem", "ソケット");
    case FileType::Special:
        return QCoreApplication::translate("SequenceProblem", "特殊ファイル");
    case FileType::Pipe:
        return QCoreApplication::translate("SequenceProblem", "パイプ");
    case FileType::Device:
        return QCoreApplication::translate("SequenceProblem", "デバイス");
    }
    return {};
}

// The words without where: they follow the file name, its line and its field.
QString Words(const SequenceProblem& problem) {
    const QString text = FromStd(problem.text);
    const QString limit = FromStd(problem.limit);
    switch (problem.kind) {
    case SequenceProblemKind::NotRegularFile:
        return QCoreApplication::translate("SequenceProblem",
                                           "%1です。通常のファイルではありません")
            .arg(FileTypeText(problem.fileType));
    case SequenceProblemKind::TooLarge:
        return QCoreApplication::translate(
                   "SequenceProblem",
                   "%1 バイトを超えています。シーケンスファイルは %1 バイトまでです")
            .arg(limit);
    case SequenceProblemKind::Unreadable:
        return text;
    case SequenceProblemKind::ExtraFields:
        return QCoreApplication::translate(
                   "SequenceProblem", "フィールドが %1 個あります。1 ステップは %2 個 (%3) です")
            .arg(text, limit, FieldList());
    case SequenceProblemKind::MissingField:
        return QCoreApplication::translate("SequenceProblem",
                                           "値がありません。1 ステップは %1 です")
            .arg(FieldList());
    case SequenceProblemKind::NotSeconds:
        return QCoreApplication::translate("SequenceProblem", "「%1」は秒数ではありません")
            .arg(text);
    case SequenceProblemKind::DwellTooShort:
        return QCoreApplication::translate(
                   "SequenceProblem", "「%1」は %2 秒 (電流の読み取り 1 回分) より短くできません")
            .arg(text, limit);
    case SequenceProblemKind::DwellTooLong:
        return QCoreApplication::translate(
                   "SequenceProblem",
                   "「%1」は %2 秒を超えています。長く保つにはステップを繰り返してください")
            .arg(text, limit);
    case SequenceProblemKind::NoSuchVoltage:
        return (problem.field == pelmora::kNegativeField
                    ? QCoreApplication::translate("SequenceProblem",
                                                  "「%1」は負側の電圧にありません。使える電圧: %2")
                    : QCoreApplication::translate("SequenceProblem",
                                                  "「%1」は正側の電圧にありません。使える電圧: %2"))
            .arg(text, limit);
    case SequenceProblemKind::TooManySteps:
        return QCoreApplication::translate("SequenceProblem",
                                           "ステップが %1 を超えています。1 つのプログラムは %1 "
                                           "ステップまでです")
            .arg(limit);
    case SequenceProblemKind::NoSteps:
        return QCoreApplication::translate("SequenceProblem", "ステップがありません");
    }
    return {};
}

bool IsReadingProblem(SequenceProblemKind kind) {
    return kind == SequenceProblemKind::NotRegularFile || kind == SequenceProblemKind::TooLarge ||
           kind == SequenceProblemKind::Unreadable;
}

} // namespace

QString SequenceProblemText(const QString& fileName, const SequenceProblem& problem) {
    const QString words = Words(problem);
    if (IsReadingProblem(problem.kind)) {
        return QCoreApplication::translate("SequenceProblem", "%1 を読めません: %2")
            .arg(fileName, words);
    }
    if (problem.line == 0) {
        return QStringLiteral("%1: %2").arg(fileName, words);
    }
    if (problem.field.empty()) {
        return QCoreApplication::translate("SequenceProblem", "%1 の %2 行目: %3")
            .arg(fileName, QString::number(problem.line), words);
    }
    return QCoreApplication::translate("SequenceProblem", "%1 の %2 行目、%3: %4")
        .arg(fileName, QString::number(problem.line), FromStd(problem.field), words);
}
