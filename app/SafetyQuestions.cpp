// The questions the window asks before something that could spoil the work
// or lose the machine's place: a cut started with the tool at the top, a
// job started from a statement away from its origin, the program's end
// while an operation runs.
#include <QMessageBox>
#include <QPushButton>

#include "app/Form1.h"
#include "job/Job.h"
#include "job/ReturnToOrigin.h"
#include "motion/Motion.h"

namespace pm {

const char* const kToolAtTopQuestion =
    "A ferramenta está no topo: a chave do topo do eixo Z está fechada, e um corte ali seria "
    "feito no ar.\n\nDesça o eixo Z com os botões do \"Motor Jog\" até a profundidade de corte "
    "antes de fresar.";
const char* const kStopAndQuitQuestion =
    "Parar e sair?\n\nA máquina para no próximo passo, o ponto de parada fica guardado para "
    "\"Começar da declaração…\" e todas as bobinas são desligadas.";
const char* const kAwayFromOriginQuestion =
    "A máquina não está na origem do trabalho: o trabalho começaria daqui, fora do lugar do "
    "desenho.";
const char* const kPlaceUnknownQuestion =
    "Não se sabe onde a máquina está em relação à origem do trabalho (nenhum trabalho foi "
    "fresado com os motores ligados desde que o programa começou).\n\nPonha a máquina na "
    "origem do trabalho e a ferramenta na altura em que ele começou antes de continuar.";

int Form1::Ask(const char* name, const std::string& text, const std::vector<std::string>& buttons) {
    if (ask) return ask(text, buttons);
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMsgTitle),
                    QString::fromStdString(text), QMessageBox::NoButton, this);
    box.setObjectName(QString::fromLatin1(name));
    std::vector<QPushButton*> added;
    for (const std::string& b : buttons) {
        // The last button is the one that changes nothing: Esc and the
        // window's close take it, and it is the default.
        const bool last = added.size() + 1 == buttons.size();
        added.push_back(box.addButton(QString::fromStdString(b),
                                      last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    if (!added.empty()) {
        box.setDefaultButton(added.back());
        box.setEscapeButton(added.back());
    }
    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i]) return static_cast<int>(i);
    }
    return static_cast<int>(buttons.size()) - 1;
}

bool Form1::ConfirmCutAtTop() {
    // The lamp is the window's view of the last poll, at most 100 ms old
    // while nothing runs.
    if (caption_.empty() || !Check1() || !LampVisible(5)) return true;
    return Ask("FresarNoTopo", kToolAtTopQuestion, {"Fresar assim mesmo", "Cancelar"}) == 0;
}

bool Form1::ConfirmStopAndQuit() {
    if (running_ == Operation::None) return true;
    return Ask("PararESair", kStopAndQuitQuestion, {"Parar e sair", "Cancelar"}) == 0;
}

ResumePlace Form1::AskResumePlace() {
    const MachinePosition& p = machinePosition_;
    // With an origin set by "Zerar XY aqui" the job counts from it wherever
    // the tool stands: nothing to ask.
    if (p.WorkOriginSet) return ResumePlace::Here;
    if (!p.JobOriginKnown)
        return Ask("OrigemDesconhecida", kPlaceUnknownQuestion, {"Começar daqui", "Cancelar"}) == 0
                   ? ResumePlace::Here
                   : ResumePlace::None;
    if (p.X == p.JobOriginX && p.Y == p.JobOriginY) return ResumePlace::Here;
    switch (Ask("ForaDaOrigem", kAwayFromOriginQuestion,
                {"Voltar à origem e começar", "Começar daqui", "Cancelar"})) {
        case 0: return ResumePlace::BackToOrigin;
        case 1: return ResumePlace::Here;
        default: return ResumePlace::None;
    }
}

}  // namespace pm
