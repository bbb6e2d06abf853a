#pragma once

#include "api/documentreader.h"

// The speech plan reader (.ssml, or any file whose root is an SSML <speak>): a paragraph
// for each <p>, and marks where a passage's language (its xml:lang, or its voice's
// languages), its voice's name or its <prosody> rate and volume change, so that its voices
// read it at its rates and volumes (relative to the chosen ones; no louder than the full
// volume); what <say-as> and <sub> say as the words, and the pronunciations of <phoneme>
// as the document's own lexicon, so that a plan that Vocatext wrote speaks as its document
// did. A <break> of 200 ms or more ends a line there, which gives it a line's pause.
class SsmlReader final : public IDocumentReader
{
public:
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;
};
