#include "reading/languagerules.h"

using namespace Qt::StringLiterals;

namespace {

using Use = AbbreviationUse;
constexpr Gender M = Gender::Masculine;
constexpr Gender F = Gender::Feminine;
constexpr Gender N = Gender::Neuter;

QString PrimaryLanguage(const QString &language)
{
    QString primary = language.trimmed().toLower();
    primary.replace(u'_', u'-');
    const qsizetype cut = primary.indexOf(u'-');
    if (cut >= 0)
        primary.truncate(cut);
    return primary;
}

// Indexes the abbreviations by their first word and adds the degrees to the units.
void Index(LanguageRules &rules)
{
    const UnitWords &degree = rules.degree;
    rules.units.insert(u"°"_s, degree);
    rules.units.insert(u"°C"_s, {degree.singular + u' ' + rules.celsius, degree.plural + u' ' + rules.celsius,
                                 degree.gender});
    rules.units.insert(u"°F"_s, {degree.singular + u' ' + rules.fahrenheit, degree.plural + u' ' + rules.fahrenheit,
                                 degree.gender});
    for (qsizetype i = 0; i < rules.abbreviations.size(); ++i) {
        const QString &form = rules.abbreviations[i].form;
        const qsizetype space = form.indexOf(u' ');
        rules.abbreviationsByFirst[space < 0 ? form : form.left(space)].append(i);
    }
}

// Units that read alike in every language's tables: the symbols.
void AddUnits(LanguageRules &rules, std::initializer_list<std::pair<QStringList, UnitWords>> units)
{
    for (const auto &[symbols, words] : units) {
        for (const QString &symbol : symbols)
            rules.units.insert(symbol, words);
    }
}

LanguageRules English(bool british)
{
    LanguageRules r;
    r.language = RulesLanguage::English;
    r.point = u"point"_s;
    r.minus = u"minus"_s;
    r.plus = u"plus"_s;
    r.percent = u"percent"_s;
    r.to = u"to"_s;
    r.moneyAnd = u"and"_s;
    r.dot = u"dot"_s;
    r.at = u"at"_s;
    r.slash = u"slash"_s;
    r.dash = u"dash"_s;
    r.underscore = u"underscore"_s;
    r.colon = u"colon"_s;
    r.degree = {u"degree"_s, u"degrees"_s, M};
    r.celsius = u"Celsius"_s;
    r.fahrenheit = u"Fahrenheit"_s;
    const QString metre = british ? u"metre"_s : u"meter"_s;
    const QString litre = british ? u"litre"_s : u"liter"_s;
    AddUnits(r, {
        {{u"km"_s}, {u"kilo"_s + metre, u"kilo"_s + metre + u's', M}},
        {{u"m"_s}, {metre, metre + u's', M}},
        {{u"cm"_s}, {u"centi"_s + metre, u"centi"_s + metre + u's', M}},
        {{u"mm"_s}, {u"milli"_s + metre, u"milli"_s + metre + u's', M}},
        {{u"kg"_s}, {u"kilogram"_s, u"kilograms"_s, M}},
        {{u"g"_s}, {u"gram"_s, u"grams"_s, M}},
        {{u"mg"_s}, {u"milligram"_s, u"milligrams"_s, M}},
        {{u"l"_s, u"L"_s}, {litre, litre + u's', M}},
        {{u"ml"_s, u"mL"_s}, {u"milli"_s + litre, u"milli"_s + litre + u's', M}},
        {{u"km/h"_s, u"kph"_s}, {u"kilo"_s + metre + u" per hour"_s, u"kilo"_s + metre + u"s per hour"_s, M}},
        {{u"mph"_s}, {u"mile per hour"_s, u"miles per hour"_s, M}},
        {{u"m/s"_s}, {metre + u" per second"_s, metre + u"s per second"_s, M}},
        {{u"m²"_s}, {u"square "_s + metre, u"square "_s + metre + u's', M}},
        {{u"km²"_s}, {u"square kilo"_s + metre, u"square kilo"_s + metre + u's', M}},
        {{u"mi"_s}, {u"mile"_s, u"miles"_s, M}},
        {{u"ft"_s}, {u"foot"_s, u"feet"_s, M}},
        {{u"lb"_s, u"lbs"_s}, {u"pound"_s, u"pounds"_s, M}},
        {{u"oz"_s}, {u"ounce"_s, u"ounces"_s, M}},
        {{u"h"_s}, {u"hour"_s, u"hours"_s, M}},
        {{u"min"_s}, {u"minute"_s, u"minutes"_s, M}},
        {{u"kW"_s}, {u"kilowatt"_s, u"kilowatts"_s, M}},
        {{u"kWh"_s}, {u"kilowatt hour"_s, u"kilowatt hours"_s, M}},
        {{u"W"_s}, {u"watt"_s, u"watts"_s, M}},
        {{u"V"_s}, {u"volt"_s, u"volts"_s, M}},
        {{u"Hz"_s}, {u"hertz"_s, u"hertz"_s, M}},
        {{u"kHz"_s}, {u"kilohertz"_s, u"kilohertz"_s, M}},
        {{u"MHz"_s}, {u"megahertz"_s, u"megahertz"_s, M}},
        {{u"GHz"_s}, {u"gigahertz"_s, u"gigahertz"_s, M}},
        {{u"KB"_s, u"kB"_s}, {u"kilobyte"_s, u"kilobytes"_s, M}},
        {{u"MB"_s}, {u"megabyte"_s, u"megabytes"_s, M}},
        {{u"GB"_s}, {u"gigabyte"_s, u"gigabytes"_s, M}},
        {{u"TB"_s}, {u"terabyte"_s, u"terabytes"_s, M}},
    });
    r.currencies = {
        {u"$"_s, {u"dollar"_s, u"dollars"_s, u"cent"_s, u"cents"_s, M}},
        {u"US$"_s, {u"US dollar"_s, u"US dollars"_s, u"cent"_s, u"cents"_s, M}},
        {u"USD"_s, {u"US dollar"_s, u"US dollars"_s, u"cent"_s, u"cents"_s, M}},
        {u"€"_s, {u"euro"_s, u"euros"_s, u"cent"_s, u"cents"_s, M}},
        {u"EUR"_s, {u"euro"_s, u"euros"_s, u"cent"_s, u"cents"_s, M}},
        {u"£"_s, {u"pound"_s, u"pounds"_s, u"penny"_s, u"pence"_s, M}},
        {u"GBP"_s, {u"pound"_s, u"pounds"_s, u"penny"_s, u"pence"_s, M}},
        {u"¥"_s, {u"yen"_s, u"yen"_s, QString(), QString(), M}},
        {u"JPY"_s, {u"yen"_s, u"yen"_s, QString(), QString(), M}},
        {u"CHF"_s, {u"Swiss franc"_s, u"Swiss francs"_s, u"centime"_s, u"centimes"_s, M}},
    };
    r.magnitudes = {{u"thousand"_s, QString()}, {u"million"_s, QString()}, {u"billion"_s, QString()},
                    {u"trillion"_s, QString()}};
    r.abbreviations = {
        {u"Mr."_s, u"Mister"_s, Use::Title},
        {u"Mr"_s, u"Mister"_s, Use::Title},
        {u"Mrs"_s, u"Missus"_s, Use::Title},
        {u"Ms"_s, u"Miz"_s, Use::Title},
        {u"Mrs."_s, u"Missus"_s, Use::Title},
        {u"Ms."_s, u"Miz"_s, Use::Title},
        {u"Messrs."_s, u"Messieurs"_s, Use::Title},
        {u"Prof."_s, u"Professor"_s, Use::Title},
        {u"Rev."_s, u"Reverend"_s, Use::Title},
        {u"Gen."_s, u"General"_s, Use::Title},
        {u"Capt."_s, u"Captain"_s, Use::Title},
        {u"Col."_s, u"Colonel"_s, Use::Title},
        {u"Lt."_s, u"Lieutenant"_s, Use::Title},
        {u"Sgt."_s, u"Sergeant"_s, Use::Title},
        {u"Hon."_s, u"Honourable"_s, Use::Title},
        {u"Mt."_s, u"Mount"_s, Use::Title},
        {u"Ft."_s, u"Fort"_s, Use::Title},
        {u"e.g."_s, u"for example"_s, Use::Inner},
        {u"i.e."_s, u"that is"_s, Use::Inner},
        {u"vs."_s, u"versus"_s, Use::Inner},
        {u"cf."_s, u"compare"_s, Use::Inner},
        {u"approx."_s, u"approximately"_s, Use::Inner},
        {u"ca."_s, u"circa"_s, Use::Inner},
        {u"c."_s, u"circa"_s, Use::BeforeNumber},
        {u"etc."_s, u"et cetera"_s, Use::MayEnd},
        {u"Jr."_s, u"Junior"_s, Use::MayEnd},
        {u"Sr."_s, u"Senior"_s, Use::MayEnd},
        {u"Inc."_s, u"Incorporated"_s, Use::MayEnd},
        {u"Ltd."_s, u"Limited"_s, Use::MayEnd},
        {u"Corp."_s, u"Corporation"_s, Use::MayEnd},
        {u"Dept."_s, u"Department"_s, Use::MayEnd},
        {u"Ave."_s, u"Avenue"_s, Use::MayEnd},
        {u"Blvd."_s, u"Boulevard"_s, Use::MayEnd},
        {u"Rd."_s, u"Road"_s, Use::MayEnd},
        {u"No."_s, u"number"_s, Use::BeforeNumber},
        {u"Nos."_s, u"numbers"_s, Use::BeforeNumber},
        {u"no."_s, u"number"_s, Use::BeforeNumber},
        {u"Fig."_s, u"figure"_s, Use::BeforeNumber},
        {u"fig."_s, u"figure"_s, Use::BeforeNumber},
        {u"Figs."_s, u"figures"_s, Use::BeforeNumber},
        {u"p."_s, u"page"_s, Use::BeforeNumber},
        {u"pp."_s, u"pages"_s, Use::BeforeNumber},
        {u"vol."_s, u"volume"_s, Use::BeforeNumber},
        {u"Vol."_s, u"volume"_s, Use::BeforeNumber},
        {u"ch."_s, u"chapter"_s, Use::BeforeNumber},
        {u"Ch."_s, u"chapter"_s, Use::BeforeNumber},
        {u"Jan."_s, u"January"_s, Use::NumberContext},
        {u"Feb."_s, u"February"_s, Use::MayEnd},
        {u"Mar."_s, u"March"_s, Use::NumberContext},
        {u"Apr."_s, u"April"_s, Use::MayEnd},
        {u"Jun."_s, u"June"_s, Use::NumberContext},
        {u"Jul."_s, u"July"_s, Use::NumberContext},
        {u"Aug."_s, u"August"_s, Use::MayEnd},
        {u"Sep."_s, u"September"_s, Use::MayEnd},
        {u"Sept."_s, u"September"_s, Use::MayEnd},
        {u"Oct."_s, u"October"_s, Use::MayEnd},
        {u"Nov."_s, u"November"_s, Use::MayEnd},
        {u"Dec."_s, u"December"_s, Use::MayEnd},
    };
    r.counterWords = {u"chapter"_s, u"part"_s, u"book"_s, u"volume"_s, u"act"_s, u"scene"_s, u"war"_s,
                      u"article"_s, u"section"_s, u"appendix"_s, u"phase"_s, u"stage"_s, u"level"_s,
                      u"class"_s, u"type"_s, u"canto"_s, u"psalm"_s, u"episode"_s, u"season"_s, u"title"_s,
                      u"division"_s, u"annex"_s, u"figure"_s, u"plate"_s, u"table"_s, u"lesson"_s};
    r.centuryAfter = {u"century"_s, u"centuries"_s};
    r.yearContext = {u"in"_s, u"since"_s, u"by"_s, u"from"_s, u"until"_s, u"till"_s, u"of"_s, u"year"_s,
                     u"before"_s, u"after"_s, u"around"_s, u"circa"_s, u"during"_s, u"early"_s, u"late"_s,
                     u"mid"_s, u"spring"_s, u"summer"_s, u"autumn"_s, u"fall"_s, u"winter"_s, u"born"_s,
                     u"died"_s, u"between"_s, u"and"_s, u"to"_s};
    r.phoneContext = {u"phone"_s, u"telephone"_s, u"tel"_s, u"call"_s, u"fax"_s, u"mobile"_s, u"cell"_s, u"dial"_s};
    return r;
}

LanguageRules French()
{
    LanguageRules r;
    r.language = RulesLanguage::French;
    r.point = u"virgule"_s;
    r.minus = u"moins"_s;
    r.plus = u"plus"_s;
    r.percent = u"pour cent"_s;
    r.to = u"à"_s;
    r.dot = u"point"_s;
    r.at = u"arobase"_s;
    r.slash = u"barre oblique"_s;
    r.dash = u"tiret"_s;
    r.underscore = u"tiret bas"_s;
    r.colon = u"deux-points"_s;
    r.degree = {u"degré"_s, u"degrés"_s, M};
    r.celsius = u"Celsius"_s;
    r.fahrenheit = u"Fahrenheit"_s;
    AddUnits(r, {
        {{u"km"_s}, {u"kilomètre"_s, u"kilomètres"_s, M}},
        {{u"m"_s}, {u"mètre"_s, u"mètres"_s, M}},
        {{u"cm"_s}, {u"centimètre"_s, u"centimètres"_s, M}},
        {{u"mm"_s}, {u"millimètre"_s, u"millimètres"_s, M}},
        {{u"kg"_s}, {u"kilogramme"_s, u"kilogrammes"_s, M}},
        {{u"g"_s}, {u"gramme"_s, u"grammes"_s, M}},
        {{u"mg"_s}, {u"milligramme"_s, u"milligrammes"_s, M}},
        {{u"l"_s, u"L"_s}, {u"litre"_s, u"litres"_s, M}},
        {{u"ml"_s, u"mL"_s}, {u"millilitre"_s, u"millilitres"_s, M}},
        {{u"cl"_s, u"cL"_s}, {u"centilitre"_s, u"centilitres"_s, M}},
        {{u"km/h"_s}, {u"kilomètre par heure"_s, u"kilomètres par heure"_s, M}},
        {{u"mph"_s}, {u"mile par heure"_s, u"miles par heure"_s, M}},
        {{u"m/s"_s}, {u"mètre par seconde"_s, u"mètres par seconde"_s, M}},
        {{u"m²"_s}, {u"mètre carré"_s, u"mètres carrés"_s, M}},
        {{u"km²"_s}, {u"kilomètre carré"_s, u"kilomètres carrés"_s, M}},
        {{u"ha"_s}, {u"hectare"_s, u"hectares"_s, M}},
        {{u"h"_s}, {u"heure"_s, u"heures"_s, F}},
        {{u"min"_s}, {u"minute"_s, u"minutes"_s, F}},
        {{u"kW"_s}, {u"kilowatt"_s, u"kilowatts"_s, M}},
        {{u"kWh"_s}, {u"kilowattheure"_s, u"kilowattheures"_s, M}},
        {{u"W"_s}, {u"watt"_s, u"watts"_s, M}},
        {{u"V"_s}, {u"volt"_s, u"volts"_s, M}},
        {{u"Hz"_s}, {u"hertz"_s, u"hertz"_s, M}},
        {{u"Ko"_s, u"ko"_s}, {u"kilooctet"_s, u"kilooctets"_s, M}},
        {{u"Mo"_s}, {u"mégaoctet"_s, u"mégaoctets"_s, M}},
        {{u"Go"_s}, {u"gigaoctet"_s, u"gigaoctets"_s, M}},
    });
    r.currencies = {
        {u"$"_s, {u"dollar"_s, u"dollars"_s, u"cent"_s, u"cents"_s, M}},
        {u"USD"_s, {u"dollar"_s, u"dollars"_s, u"cent"_s, u"cents"_s, M}},
        {u"€"_s, {u"euro"_s, u"euros"_s, u"centime"_s, u"centimes"_s, M}},
        {u"EUR"_s, {u"euro"_s, u"euros"_s, u"centime"_s, u"centimes"_s, M}},
        {u"£"_s, {u"livre"_s, u"livres"_s, u"penny"_s, u"pence"_s, F}},
        {u"GBP"_s, {u"livre"_s, u"livres"_s, u"penny"_s, u"pence"_s, F}},
        {u"¥"_s, {u"yen"_s, u"yens"_s, QString(), QString(), M}},
        {u"CHF"_s, {u"franc suisse"_s, u"francs suisses"_s, u"centime"_s, u"centimes"_s, M}},
    };
    r.magnitudes = {{u"mille"_s, QString()}, {u"million"_s, u"de"_s}, {u"millions"_s, u"de"_s},
                    {u"milliard"_s, u"de"_s}, {u"milliards"_s, u"de"_s}};
    r.abbreviations = {
        {u"M."_s, u"Monsieur"_s, Use::Title},
        {u"MM."_s, u"Messieurs"_s, Use::Title},
        {u"Mme"_s, u"Madame"_s, Use::Title},
        {u"Mme."_s, u"Madame"_s, Use::Title},
        {u"Mmes"_s, u"Mesdames"_s, Use::Title},
        {u"Mlle"_s, u"Mademoiselle"_s, Use::Title},
        {u"Mlles"_s, u"Mesdemoiselles"_s, Use::Title},
        {u"Dr"_s, u"Docteur"_s, Use::Title},
        {u"Dr."_s, u"Docteur"_s, Use::Title},
        {u"Pr"_s, u"Professeur"_s, Use::Title},
        {u"Pr."_s, u"Professeur"_s, Use::Title},
        {u"St"_s, u"Saint"_s, Use::Title},
        {u"Ste"_s, u"Sainte"_s, Use::Title},
        {u"av. J.-C."_s, u"avant Jésus-Christ"_s, Use::MayEnd},
        {u"apr. J.-C."_s, u"après Jésus-Christ"_s, Use::MayEnd},
        {u"J.-C."_s, u"Jésus-Christ"_s, Use::MayEnd},
        {u"etc."_s, u"et cetera"_s, Use::MayEnd},
        {u"cf."_s, u"confer"_s, Use::Inner},
        {u"c.-à-d."_s, u"c'est-à-dire"_s, Use::Inner},
        {u"env."_s, u"environ"_s, Use::Inner},
        {u"ex."_s, u"exemple"_s, Use::Inner},
        {u"p."_s, u"page"_s, Use::BeforeNumber},
        {u"pp."_s, u"pages"_s, Use::BeforeNumber},
        {u"n°"_s, u"numéro"_s, Use::BeforeNumber},
        {u"N°"_s, u"numéro"_s, Use::BeforeNumber},
        {u"no"_s, u"numéro"_s, Use::BeforeNumber},
        {u"vol."_s, u"volume"_s, Use::BeforeNumber},
        {u"chap."_s, u"chapitre"_s, Use::BeforeNumber},
        {u"fig."_s, u"figure"_s, Use::BeforeNumber},
        {u"éd."_s, u"édition"_s, Use::Inner},
        {u"av."_s, u"avenue"_s, Use::Inner},
        {u"bd"_s, u"boulevard"_s, Use::Inner},
        {u"janv."_s, u"janvier"_s, Use::MayEnd},
        {u"févr."_s, u"février"_s, Use::MayEnd},
        {u"avr."_s, u"avril"_s, Use::MayEnd},
        {u"juil."_s, u"juillet"_s, Use::MayEnd},
        {u"sept."_s, u"septembre"_s, Use::NumberContext},
        {u"oct."_s, u"octobre"_s, Use::MayEnd},
        {u"nov."_s, u"novembre"_s, Use::MayEnd},
        {u"déc."_s, u"décembre"_s, Use::MayEnd},
    };
    r.counterWords = {u"chapitre"_s, u"partie"_s, u"livre"_s, u"tome"_s, u"volume"_s, u"acte"_s, u"scène"_s,
                      u"article"_s, u"section"_s, u"annexe"_s, u"titre"_s, u"leçon"_s, u"épisode"_s,
                      u"saison"_s, u"guerre"_s, u"phase"_s, u"niveau"_s, u"figure"_s, u"tableau"_s};
    r.centuryAfter = {u"siècle"_s, u"siècles"_s, u"millénaire"_s};
    r.yearContext = {u"en"_s, u"depuis"_s, u"année"_s, u"an"_s, u"avant"_s, u"après"_s, u"vers"_s, u"dès"_s,
                     u"jusqu'en"_s, u"été"_s, u"hiver"_s, u"printemps"_s, u"automne"_s, u"de"_s, u"et"_s,
                     u"à"_s, u"entre"_s, u"né"_s, u"née"_s, u"mort"_s, u"morte"_s};
    r.phoneContext = {u"téléphone"_s, u"tél"_s, u"tel"_s, u"appelez"_s, u"fax"_s, u"portable"_s, u"mobile"_s};
    r.feminineNouns = {u"heure"_s, u"heures"_s, u"minute"_s, u"minutes"_s, u"seconde"_s, u"secondes"_s,
                       u"fois"_s, u"personne"_s, u"personnes"_s, u"année"_s, u"années"_s, u"semaine"_s,
                       u"semaines"_s, u"page"_s, u"pages"_s, u"journée"_s, u"nuit"_s, u"nuits"_s, u"femme"_s,
                       u"femmes"_s, u"fille"_s, u"filles"_s, u"voiture"_s, u"voitures"_s, u"maison"_s,
                       u"maisons"_s, u"tonne"_s, u"tonnes"_s, u"place"_s, u"places"_s, u"chose"_s, u"choses"_s,
                       u"partie"_s, u"parties"_s, u"classe"_s, u"classes"_s, u"étoile"_s, u"étoiles"_s,
                       u"ville"_s, u"villes"_s, u"fleur"_s, u"fleurs"_s};
    return r;
}

LanguageRules German()
{
    LanguageRules r;
    r.language = RulesLanguage::German;
    r.point = u"Komma"_s;
    r.minus = u"minus"_s;
    r.plus = u"plus"_s;
    r.percent = u"Prozent"_s;
    r.to = u"bis"_s;
    r.dot = u"Punkt"_s;
    r.at = u"at"_s;
    r.slash = u"Schrägstrich"_s;
    r.dash = u"Bindestrich"_s;
    r.underscore = u"Unterstrich"_s;
    r.colon = u"Doppelpunkt"_s;
    r.degree = {u"Grad"_s, u"Grad"_s, N};
    r.celsius = u"Celsius"_s;
    r.fahrenheit = u"Fahrenheit"_s;
    AddUnits(r, {
        {{u"km"_s}, {u"Kilometer"_s, u"Kilometer"_s, M}},
        {{u"m"_s}, {u"Meter"_s, u"Meter"_s, M}},
        {{u"cm"_s}, {u"Zentimeter"_s, u"Zentimeter"_s, M}},
        {{u"mm"_s}, {u"Millimeter"_s, u"Millimeter"_s, M}},
        {{u"kg"_s}, {u"Kilogramm"_s, u"Kilogramm"_s, N}},
        {{u"g"_s}, {u"Gramm"_s, u"Gramm"_s, N}},
        {{u"mg"_s}, {u"Milligramm"_s, u"Milligramm"_s, N}},
        {{u"l"_s, u"L"_s}, {u"Liter"_s, u"Liter"_s, M}},
        {{u"ml"_s, u"mL"_s}, {u"Milliliter"_s, u"Milliliter"_s, M}},
        {{u"km/h"_s}, {u"Kilometer pro Stunde"_s, u"Kilometer pro Stunde"_s, M}},
        {{u"mph"_s}, {u"Meile pro Stunde"_s, u"Meilen pro Stunde"_s, F}},
        {{u"m/s"_s}, {u"Meter pro Sekunde"_s, u"Meter pro Sekunde"_s, M}},
        {{u"m²"_s}, {u"Quadratmeter"_s, u"Quadratmeter"_s, M}},
        {{u"km²"_s}, {u"Quadratkilometer"_s, u"Quadratkilometer"_s, M}},
        {{u"ha"_s}, {u"Hektar"_s, u"Hektar"_s, M}},
        {{u"h"_s, u"Std."_s}, {u"Stunde"_s, u"Stunden"_s, F}},
        {{u"min"_s, u"Min."_s}, {u"Minute"_s, u"Minuten"_s, F}},
        {{u"kW"_s}, {u"Kilowatt"_s, u"Kilowatt"_s, N}},
        {{u"kWh"_s}, {u"Kilowattstunde"_s, u"Kilowattstunden"_s, F}},
        {{u"W"_s}, {u"Watt"_s, u"Watt"_s, N}},
        {{u"V"_s}, {u"Volt"_s, u"Volt"_s, N}},
        {{u"Hz"_s}, {u"Hertz"_s, u"Hertz"_s, N}},
        {{u"KB"_s, u"kB"_s}, {u"Kilobyte"_s, u"Kilobyte"_s, N}},
        {{u"MB"_s}, {u"Megabyte"_s, u"Megabyte"_s, N}},
        {{u"GB"_s}, {u"Gigabyte"_s, u"Gigabyte"_s, N}},
    });
    r.currencies = {
        {u"$"_s, {u"Dollar"_s, u"Dollar"_s, u"Cent"_s, u"Cent"_s, M}},
        {u"USD"_s, {u"US-Dollar"_s, u"US-Dollar"_s, u"Cent"_s, u"Cent"_s, M}},
        {u"€"_s, {u"Euro"_s, u"Euro"_s, u"Cent"_s, u"Cent"_s, M}},
        {u"EUR"_s, {u"Euro"_s, u"Euro"_s, u"Cent"_s, u"Cent"_s, M}},
        {u"£"_s, {u"Pfund"_s, u"Pfund"_s, u"Penny"_s, u"Pence"_s, N}},
        {u"GBP"_s, {u"Pfund"_s, u"Pfund"_s, u"Penny"_s, u"Pence"_s, N}},
        {u"¥"_s, {u"Yen"_s, u"Yen"_s, QString(), QString(), M}},
        {u"CHF"_s, {u"Franken"_s, u"Franken"_s, u"Rappen"_s, u"Rappen"_s, M}},
    };
    r.magnitudes = {{u"Tausend"_s, QString()}, {u"Million"_s, QString()}, {u"Millionen"_s, QString()},
                    {u"Milliarde"_s, QString()}, {u"Milliarden"_s, QString()}};
    r.abbreviations = {
        {u"z. B."_s, u"zum Beispiel"_s, Use::Inner},
        {u"z.B."_s, u"zum Beispiel"_s, Use::Inner},
        {u"d. h."_s, u"das heißt"_s, Use::Inner},
        {u"d.h."_s, u"das heißt"_s, Use::Inner},
        {u"u. a."_s, u"unter anderem"_s, Use::Inner},
        {u"u.a."_s, u"unter anderem"_s, Use::Inner},
        {u"z. T."_s, u"zum Teil"_s, Use::Inner},
        {u"z.T."_s, u"zum Teil"_s, Use::Inner},
        {u"o. ä."_s, u"oder ähnlich"_s, Use::MayEnd},
        {u"o.ä."_s, u"oder ähnlich"_s, Use::MayEnd},
        {u"s. o."_s, u"siehe oben"_s, Use::MayEnd},
        {u"s. u."_s, u"siehe unten"_s, Use::MayEnd},
        {u"v. Chr."_s, u"vor Christus"_s, Use::MayEnd},
        {u"n. Chr."_s, u"nach Christus"_s, Use::MayEnd},
        {u"usw."_s, u"und so weiter"_s, Use::MayEnd},
        {u"etc."_s, u"et cetera"_s, Use::MayEnd},
        {u"bzw."_s, u"beziehungsweise"_s, Use::Inner},
        {u"ca."_s, u"circa"_s, Use::Inner},
        {u"ggf."_s, u"gegebenenfalls"_s, Use::Inner},
        {u"vgl."_s, u"vergleiche"_s, Use::Inner},
        {u"evtl."_s, u"eventuell"_s, Use::Inner},
        {u"inkl."_s, u"inklusive"_s, Use::Inner},
        {u"zzgl."_s, u"zuzüglich"_s, Use::Inner},
        {u"sog."_s, u"sogenannte"_s, Use::Inner},
        {u"Mio."_s, u"Millionen"_s, Use::MayEnd},
        {u"Mrd."_s, u"Milliarden"_s, Use::MayEnd},
        {u"Tsd."_s, u"Tausend"_s, Use::MayEnd},
        {u"Jh."_s, u"Jahrhundert"_s, Use::MayEnd},
        {u"Dr."_s, u"Doktor"_s, Use::Title},
        {u"Prof."_s, u"Professor"_s, Use::Title},
        {u"Hr."_s, u"Herr"_s, Use::Title},
        {u"Hrn."_s, u"Herrn"_s, Use::Title},
        {u"Fr."_s, u"Frau"_s, Use::Title},
        {u"St."_s, u"Sankt"_s, Use::Title},
        {u"Str."_s, u"Straße"_s, Use::MayEnd},
        {u"Nr."_s, u"Nummer"_s, Use::BeforeNumber},
        {u"S."_s, u"Seite"_s, Use::BeforeNumber},
        {u"Abb."_s, u"Abbildung"_s, Use::BeforeNumber},
        {u"Bd."_s, u"Band"_s, Use::BeforeNumber},
        {u"Kap."_s, u"Kapitel"_s, Use::BeforeNumber},
        {u"Jan."_s, u"Januar"_s, Use::NumberContext},
        {u"Feb."_s, u"Februar"_s, Use::MayEnd},
        {u"Febr."_s, u"Februar"_s, Use::MayEnd},
        {u"Apr."_s, u"April"_s, Use::MayEnd},
        {u"Aug."_s, u"August"_s, Use::NumberContext},
        {u"Sept."_s, u"September"_s, Use::MayEnd},
        {u"Okt."_s, u"Oktober"_s, Use::MayEnd},
        {u"Nov."_s, u"November"_s, Use::MayEnd},
        {u"Dez."_s, u"Dezember"_s, Use::MayEnd},
    };
    r.counterWords = {u"kapitel"_s, u"teil"_s, u"buch"_s, u"band"_s, u"akt"_s, u"szene"_s, u"artikel"_s,
                      u"abschnitt"_s, u"anhang"_s, u"titel"_s, u"lektion"_s, u"folge"_s, u"staffel"_s,
                      u"phase"_s, u"stufe"_s, u"abbildung"_s, u"tabelle"_s, u"klasse"_s};
    r.centuryAfter = {u"jahrhundert"_s, u"jahrhunderts"_s, u"jahrhunderte"_s, u"jahrtausend"_s};
    r.yearContext = {u"im"_s, u"jahr"_s, u"jahre"_s, u"jahres"_s, u"seit"_s, u"bis"_s, u"von"_s, u"ab"_s,
                     u"vor"_s, u"nach"_s, u"um"_s, u"anfang"_s, u"ende"_s, u"mitte"_s, u"sommer"_s,
                     u"winter"_s, u"frühjahr"_s, u"frühling"_s, u"herbst"_s, u"und"_s, u"zwischen"_s,
                     u"geboren"_s, u"gestorben"_s};
    r.phoneContext = {u"telefon"_s, u"tel"_s, u"fax"_s, u"anrufen"_s, u"mobil"_s, u"handy"_s, u"rufnummer"_s};
    r.feminineNouns = {u"stunde"_s, u"minute"_s, u"sekunde"_s, u"woche"_s, u"person"_s, u"seite"_s, u"frau"_s,
                       u"million"_s, u"milliarde"_s, u"tonne"_s, u"meile"_s, u"nacht"_s, u"sache"_s,
                       u"stadt"_s, u"zeit"_s, u"nummer"_s, u"frage"_s, u"tasse"_s, u"flasche"_s,
                       u"familie"_s, u"schule"_s, u"straße"_s, u"mark"_s};
    return r;
}

LanguageRules Spanish()
{
    LanguageRules r;
    r.language = RulesLanguage::Spanish;
    r.point = u"coma"_s;
    r.minus = u"menos"_s;
    r.plus = u"más"_s;
    r.percent = u"por ciento"_s;
    r.to = u"a"_s;
    r.moneyAnd = u"con"_s;
    r.dot = u"punto"_s;
    r.at = u"arroba"_s;
    r.slash = u"barra"_s;
    r.dash = u"guion"_s;
    r.underscore = u"guion bajo"_s;
    r.colon = u"dos puntos"_s;
    r.degree = {u"grado"_s, u"grados"_s, M};
    r.celsius = u"Celsius"_s;
    r.fahrenheit = u"Fahrenheit"_s;
    AddUnits(r, {
        {{u"km"_s}, {u"kilómetro"_s, u"kilómetros"_s, M}},
        {{u"m"_s}, {u"metro"_s, u"metros"_s, M}},
        {{u"cm"_s}, {u"centímetro"_s, u"centímetros"_s, M}},
        {{u"mm"_s}, {u"milímetro"_s, u"milímetros"_s, M}},
        {{u"kg"_s}, {u"kilogramo"_s, u"kilogramos"_s, M}},
        {{u"g"_s}, {u"gramo"_s, u"gramos"_s, M}},
        {{u"mg"_s}, {u"miligramo"_s, u"miligramos"_s, M}},
        {{u"l"_s, u"L"_s}, {u"litro"_s, u"litros"_s, M}},
        {{u"ml"_s, u"mL"_s}, {u"mililitro"_s, u"mililitros"_s, M}},
        {{u"km/h"_s}, {u"kilómetro por hora"_s, u"kilómetros por hora"_s, M}},
        {{u"mph"_s}, {u"milla por hora"_s, u"millas por hora"_s, F}},
        {{u"m/s"_s}, {u"metro por segundo"_s, u"metros por segundo"_s, M}},
        {{u"m²"_s}, {u"metro cuadrado"_s, u"metros cuadrados"_s, M}},
        {{u"km²"_s}, {u"kilómetro cuadrado"_s, u"kilómetros cuadrados"_s, M}},
        {{u"ha"_s}, {u"hectárea"_s, u"hectáreas"_s, F}},
        {{u"h"_s}, {u"hora"_s, u"horas"_s, F}},
        {{u"min"_s}, {u"minuto"_s, u"minutos"_s, M}},
        {{u"kW"_s}, {u"kilovatio"_s, u"kilovatios"_s, M}},
        {{u"kWh"_s}, {u"kilovatio hora"_s, u"kilovatios hora"_s, M}},
        {{u"W"_s}, {u"vatio"_s, u"vatios"_s, M}},
        {{u"V"_s}, {u"voltio"_s, u"voltios"_s, M}},
        {{u"Hz"_s}, {u"hercio"_s, u"hercios"_s, M}},
        {{u"KB"_s, u"kB"_s}, {u"kilobyte"_s, u"kilobytes"_s, M}},
        {{u"MB"_s}, {u"megabyte"_s, u"megabytes"_s, M}},
        {{u"GB"_s}, {u"gigabyte"_s, u"gigabytes"_s, M}},
    });
    r.currencies = {
        {u"$"_s, {u"dólar"_s, u"dólares"_s, u"centavo"_s, u"centavos"_s, M}},
        {u"USD"_s, {u"dólar"_s, u"dólares"_s, u"centavo"_s, u"centavos"_s, M}},
        {u"€"_s, {u"euro"_s, u"euros"_s, u"céntimo"_s, u"céntimos"_s, M}},
        {u"EUR"_s, {u"euro"_s, u"euros"_s, u"céntimo"_s, u"céntimos"_s, M}},
        {u"£"_s, {u"libra"_s, u"libras"_s, u"penique"_s, u"peniques"_s, F}},
        {u"GBP"_s, {u"libra"_s, u"libras"_s, u"penique"_s, u"peniques"_s, F}},
        {u"¥"_s, {u"yen"_s, u"yenes"_s, QString(), QString(), M}},
        {u"CHF"_s, {u"franco suizo"_s, u"francos suizos"_s, u"céntimo"_s, u"céntimos"_s, M}},
    };
    r.magnitudes = {{u"mil"_s, QString()}, {u"millón"_s, u"de"_s}, {u"millones"_s, u"de"_s}};
    r.abbreviations = {
        {u"Sr."_s, u"señor"_s, Use::Title},
        {u"Sra."_s, u"señora"_s, Use::Title},
        {u"Srta."_s, u"señorita"_s, Use::Title},
        {u"Sres."_s, u"señores"_s, Use::Title},
        {u"Dr."_s, u"doctor"_s, Use::Title},
        {u"Dra."_s, u"doctora"_s, Use::Title},
        {u"D."_s, u"don"_s, Use::Title},
        {u"Dña."_s, u"doña"_s, Use::Title},
        {u"Ud."_s, u"usted"_s, Use::MayEnd},
        {u"Uds."_s, u"ustedes"_s, Use::MayEnd},
        {u"p. ej."_s, u"por ejemplo"_s, Use::Inner},
        {u"etc."_s, u"etcétera"_s, Use::MayEnd},
        {u"aprox."_s, u"aproximadamente"_s, Use::Inner},
        {u"Avda."_s, u"avenida"_s, Use::Inner},
        {u"c/"_s, u"calle"_s, Use::Inner},
        {u"EE. UU."_s, u"Estados Unidos"_s, Use::MayEnd},
        {u"EE.UU."_s, u"Estados Unidos"_s, Use::MayEnd},
        {u"a. C."_s, u"antes de Cristo"_s, Use::MayEnd},
        {u"d. C."_s, u"después de Cristo"_s, Use::MayEnd},
        {u"Cía."_s, u"compañía"_s, Use::MayEnd},
        {u"pág."_s, u"página"_s, Use::BeforeNumber},
        {u"págs."_s, u"páginas"_s, Use::BeforeNumber},
        {u"núm."_s, u"número"_s, Use::BeforeNumber},
        {u"n.º"_s, u"número"_s, Use::BeforeNumber},
        {u"fig."_s, u"figura"_s, Use::BeforeNumber},
        {u"vol."_s, u"volumen"_s, Use::BeforeNumber},
        {u"cap."_s, u"capítulo"_s, Use::BeforeNumber},
        {u"ene."_s, u"enero"_s, Use::NumberContext},
        {u"feb."_s, u"febrero"_s, Use::NumberContext},
        {u"abr."_s, u"abril"_s, Use::NumberContext},
        {u"ago."_s, u"agosto"_s, Use::NumberContext},
        {u"sept."_s, u"septiembre"_s, Use::NumberContext},
        {u"oct."_s, u"octubre"_s, Use::NumberContext},
        {u"nov."_s, u"noviembre"_s, Use::NumberContext},
        {u"dic."_s, u"diciembre"_s, Use::NumberContext},
    };
    r.counterWords = {u"capítulo"_s, u"parte"_s, u"libro"_s, u"tomo"_s, u"volumen"_s, u"acto"_s, u"escena"_s,
                      u"artículo"_s, u"sección"_s, u"apéndice"_s, u"título"_s, u"lección"_s, u"episodio"_s,
                      u"temporada"_s, u"fase"_s, u"nivel"_s, u"figura"_s, u"tabla"_s};
    r.centuryBefore = {u"siglo"_s, u"siglos"_s, u"milenio"_s};
    r.yearContext = {u"en"_s, u"año"_s, u"desde"_s, u"hasta"_s, u"de"_s, u"antes"_s, u"después"_s, u"hacia"_s,
                     u"y"_s, u"a"_s, u"entre"_s, u"verano"_s, u"invierno"_s, u"primavera"_s, u"otoño"_s,
                     u"nació"_s, u"murió"_s};
    r.phoneContext = {u"teléfono"_s, u"tel"_s, u"tlf"_s, u"llame"_s, u"llamar"_s, u"fax"_s, u"móvil"_s};
    r.feminineNouns = {u"hora"_s, u"horas"_s, u"persona"_s, u"personas"_s, u"semana"_s, u"semanas"_s,
                       u"página"_s, u"páginas"_s, u"vez"_s, u"veces"_s, u"mujer"_s, u"mujeres"_s, u"casa"_s,
                       u"casas"_s, u"tonelada"_s, u"toneladas"_s, u"milla"_s, u"millas"_s, u"noche"_s,
                       u"noches"_s, u"niña"_s, u"niñas"_s, u"cosa"_s, u"cosas"_s, u"parte"_s, u"partes"_s,
                       u"clase"_s, u"clases"_s, u"ciudad"_s, u"ciudades"_s, u"calle"_s, u"calles"_s,
                       u"flor"_s, u"flores"_s};
    r.notCounted = {u"y"_s, u"o"_s, u"e"_s, u"u"_s, u"de"_s, u"a"_s, u"en"_s, u"por"_s, u"para"_s, u"con"_s,
                    u"que"_s, u"se"_s, u"es"_s, u"al"_s, u"del"_s, u"el"_s, u"la"_s, u"los"_s, u"las"_s,
                    u"ni"_s, u"si"_s, u"más"_s, u"menos"_s, u"son"_s, u"fue"_s};
    return r;
}

} // namespace

bool LanguageRules::IsBritishEnglish(const QString &language)
{
    QString tag = language.trimmed();
    tag.replace(u'_', u'-');
    const QStringList parts = tag.split(u'-');
    if (parts.size() < 2 || parts[0].compare(u"en"_s, Qt::CaseInsensitive) != 0)
        return false;
    static const QStringList regions = {u"GB"_s, u"UK"_s, u"IE"_s, u"AU"_s, u"NZ"_s, u"ZA"_s, u"IN"_s};
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (regions.contains(parts[i].toUpper()))
            return true;
    }
    return false;
}

const LanguageRules *LanguageRules::For(const QString &language)
{
    static const LanguageRules english = [] {
        LanguageRules r = English(false);
        Index(r);
        return r;
    }();
    static const LanguageRules british = [] {
        LanguageRules r = English(true);
        Index(r);
        return r;
    }();
    static const LanguageRules french = [] {
        LanguageRules r = French();
        Index(r);
        return r;
    }();
    static const LanguageRules german = [] {
        LanguageRules r = German();
        Index(r);
        return r;
    }();
    static const LanguageRules spanish = [] {
        LanguageRules r = Spanish();
        Index(r);
        return r;
    }();
    const QString primary = PrimaryLanguage(language);
    if (primary == u"en")
        return IsBritishEnglish(language) ? &british : &english;
    if (primary == u"fr")
        return &french;
    if (primary == u"de")
        return &german;
    if (primary == u"es")
        return &spanish;
    return nullptr;
}

bool LanguageRules::IsRulerName(QStringView word)
{
    static const QSet<QString> names = {
        u"Henry"_s, u"Edward"_s, u"George"_s, u"William"_s, u"Richard"_s, u"Charles"_s, u"James"_s, u"John"_s,
        u"Elizabeth"_s, u"Mary"_s, u"Anne"_s, u"Victoria"_s, u"Stephen"_s, u"Louis"_s, u"Philip"_s,
        u"Frederick"_s, u"Alexander"_s, u"Nicholas"_s, u"Peter"_s, u"Ivan"_s, u"Catherine"_s, u"Paul"_s,
        u"Pius"_s, u"Leo"_s, u"Gregory"_s, u"Benedict"_s, u"Innocent"_s, u"Clement"_s, u"Urban"_s,
        u"Boniface"_s, u"Sixtus"_s, u"Julius"_s, u"Napoleon"_s, u"Constantine"_s, u"Justinian"_s,
        u"Ramesses"_s, u"Ramses"_s, u"Amenhotep"_s, u"Thutmose"_s, u"Ptolemy"_s, u"Darius"_s, u"Xerxes"_s,
        u"Robert"_s, u"David"_s, u"Malcolm"_s, u"Duncan"_s, u"Gustav"_s, u"Gustavus"_s, u"Christian"_s,
        u"Frederik"_s, u"Haakon"_s, u"Harald"_s, u"Olaf"_s, u"Magnus"_s, u"Eric"_s, u"Erik"_s, u"Umberto"_s,
        u"Emmanuel"_s, u"Rudolf"_s, u"Maximilian"_s, u"Sigismund"_s, u"Casimir"_s, u"Ferdinand"_s,
        u"Leopold"_s, u"Joseph"_s, u"Francis"_s, u"Mehmed"_s, u"Selim"_s, u"Suleiman"_s, u"Murad"_s,
        u"Henri"_s, u"Philippe"_s, u"Napoléon"_s, u"François"_s, u"Jean"_s, u"Léon"_s, u"Grégoire"_s,
        u"Benoît"_s, u"Jean-Paul"_s, u"Pie"_s, u"Clément"_s, u"Innocent"_s, u"Guillaume"_s, u"Édouard"_s,
        u"Élisabeth"_s, u"Catherine"_s, u"Pierre"_s, u"Nicolas"_s, u"Alexandre"_s, u"Frédéric"_s,
        u"Heinrich"_s, u"Karl"_s, u"Ludwig"_s, u"Friedrich"_s, u"Wilhelm"_s, u"Otto"_s, u"Franz"_s,
        u"Konrad"_s, u"Johannes"_s, u"Benedikt"_s, u"Gregor"_s, u"Pius"_s, u"Maximilian"_s, u"Elisabeth"_s,
        u"Katharina"_s, u"Peter"_s, u"Alfonso"_s, u"Fernando"_s, u"Felipe"_s, u"Carlos"_s, u"Juan"_s,
        u"Isabel"_s, u"Isabella"_s, u"Pedro"_s, u"Manuel"_s, u"Enrique"_s, u"Jaime"_s, u"Sancho"_s,
        u"Juana"_s, u"Luis"_s, u"Pío"_s, u"Benedicto"_s, u"Gregorio"_s, u"Juan Pablo"_s, u"Pablo"_s,
    };
    return names.contains(word.toString());
}
