#pragma once

#include "api/documentreader.h"

// The speech plan reader (.ssml, or any file whose root is an SSML <speak>): a paragraph
// for each <p>, each passage's language a mark (from its xml:lang or its voice's
// languages), what <say-as> and <sub> say as the words, and the pronunciations of
// <phoneme> as the document's own lexicon, so that a plan that Vocatext wrote speaks as
// its document did. A <break> of 200 ms or more ends a line there, which gives it a line's
// pause. The voices' names and <prosody> are not heard: the chosen voice, rate and volume
// read every document alike.
class SsmlReader final : public IDocumentReader
{
public:
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;
};
