#include "search/SearchCriteria.h"

QStringList SearchCriteria::searchTexts() const
{
    switch (mode) {
    case Mode::This:
        return {text};
    case Mode::Multiple:
        return sets;
    case Mode::None:
        break;
    }
    return {};
}

SearchChoices SearchChoices::forTexts(const QStringList &texts)
{
    SearchChoices choices;
    choices.searchForThis = texts.size() == 1;
    choices.searchForMultiple = !choices.searchForThis;
    choices.text = texts.value(0);
    choices.sets = texts;
    return choices;
}

SearchCriteria criteriaFor(const SearchChoices &choices)
{
    SearchCriteria criteria;
    if (choices.searchForThis)
        criteria.mode = SearchCriteria::Mode::This;
    else if (choices.searchForMultiple)
        criteria.mode = SearchCriteria::Mode::Multiple;
    else
        criteria.mode = SearchCriteria::Mode::None;
    criteria.text = choices.text;
    criteria.sets = choices.sets;
    criteria.ignoreCase = !choices.matchCase;
    criteria.phoneNumbers = choices.phoneNumbers;
    criteria.ignoreAccents = choices.ignoreAccents;
    criteria.allProperties = choices.allProperties;
    criteria.region = choices.region;
    criteria.regularExpression = choices.regularExpression;
    criteria.everyText = choices.everyText;
    criteria.wholeWords = choices.wholeWords;
    criteria.searchIn = choices.searchIn;
    return criteria;
}
