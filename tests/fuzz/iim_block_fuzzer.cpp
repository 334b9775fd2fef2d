// libFuzzer target for the IIM (IPTC) block reader: any bytes as a block from a
// file or from user data, in every character-set reading.
#include "IIMText.h"
#include "FuzzEntry.h"

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IIMText::BlockToCaptionForm(bytes, false);
    IIMText::BlockToCaptionForm(bytes, true);
    const IIMText::FileCharset declared = IIMText::DeclaredCharset(bytes);
    declared.Decode(bytes);
    declared.DecodeExactly(bytes);
    // The bytes as a declaration too: escape sequences of any shape.
    const IIMText::FileCharset asDeclaration(bytes.left(16));
    asDeclaration.Decode(bytes);
    asDeclaration.DecodeExactly(bytes);
    asDeclaration.Encode(QString::fromLatin1(bytes));
    IIMText::TextFromCaptionBytes(bytes);
    IIMText::CutCaptionBytes(bytes, qsizetype(size / 2));
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)
