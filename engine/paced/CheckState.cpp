#include "engine/paced/CheckState.h"

#include "platform/WorkingFolder.h"

#include <chrono>

namespace gw {

void setWarningTexts(CheckState& state, bool english)
{
    if (english) {
        state.WarnCaption = QStringLiteral("WARNING.");
        state.WarnFound = QStringLiteral("It is found out during the handling:  ");
        state.WarnMissed = QStringLiteral("% of data HES BEEN MISSED. ");
        state.WarnRetry = QStringLiteral(
            "It is recommended to read the data again not so quickly. Click YES if you agree.");
        state.WarnAnalyse = QStringLiteral(
            "Click NO if you are sure it doesnt need to read again. In that case the ready part of the data will be analyzed.");
        return;
    }
    state.WarnCaption = QStringLiteral("ПРЕДУПРЕЖДЕНИЕ.");
    state.WarnFound = QStringLiteral("В ходе проверки обнаружено:  ");
    state.WarnMissed = QStringLiteral("% информации НЕ БЫЛО ПРОЧИТАНО. ");
    state.WarnRetry = QStringLiteral(
        "Рекомендуется выполнить чтение снова на более медленной скорости. Если Вы согласны - нажмите YES.");
    state.WarnAnalyse = QStringLiteral(
        "Если Вы считаете, что повторное чтение не требуется - нажмите NO. Будет выполнен анализ прочтенных данных.");
}

void FormShowDefaults(CheckState& state)
{
    state.SpeedFactor = 8;
    state.EstTotal = 0;
    state.Lang = QStringLiteral("RU");
    if (state.WinDir.isEmpty())
        state.WinDir = WorkingFolder::create();
    setWarningTexts(state, false);
}

void FormClose(CheckState& state)
{
    WorkingFolder::remove(state.WinDir);
}

} // namespace gw
