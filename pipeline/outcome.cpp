#include "pipeline/outcome.h"

using namespace Qt::StringLiterals;

QString StageWords(Stage stage)
{
    switch (stage) {
    case Stage::Text:
        return u"reading its text"_s;
    case Stage::Segments:
        return u"cutting its text into segments"_s;
    case Stage::Speech:
        return u"speaking it"_s;
    case Stage::Encoding:
        return u"encoding its speech"_s;
    case Stage::Joining:
        return u"joining its pieces"_s;
    case Stage::Output:
        return u"saving its MP3"_s;
    }
    return QString();
}
