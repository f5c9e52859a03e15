#pragma once
#include "motion/Context.h"

namespace pm {

// How "Voltar à origem do trabalho" ended.
enum class ReturnEnd { Refused, NoOrigin, MotorsOff, Cancelled, Arrived };

// "Voltar à origem do trabalho": lifts the tool, travels back to where the
// last job that moved the motors had its origin, and lowers the tool again
// to the height it had, so the next job starts there as the last one did.
// The way back is counted from the machine's position, so homings, jogs and
// cancelled moves since that job are taken into account. Needs the motors
// on; "Cancelar" stops the travel where it is (the tool is lowered there).
ReturnEnd ReturnToJobOrigin(Context& c);

inline constexpr const char* kNoJobOriginMessage =
    "Nenhum trabalho foi fresado com os motores ligados: não há origem para onde voltar.";
inline constexpr const char* kReturnNeedsMotorsMessage =
    "Marque \"Ativar Motores\" para voltar à origem do trabalho.";

}  // namespace pm
