#include "app/MachineDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "motion/MachinePosition.h"
#include "motion/Motion.h"

namespace pm {
namespace {

struct FieldInfo {
    const char* name;     // objectName of the box
    const char* label;
    bool zeroAllowed;     // empty or 0: not known
};

constexpr std::array<FieldInfo, MachineDialog::kFields> kInfo{{
    {"passosX", "Meios-passos por mm em X:", false},
    {"passosY", "Meios-passos por mm em Y:", false},
    {"cursoX", "Curso de X em mm (0: não conhecido):", true},
    {"cursoY", "Curso de Y em mm (0: não conhecido):", true},
    {"folgaX", "Folga do Home XY em X, mm (0: curso + 10 %):", true},
    {"folgaY", "Folga do Home XY em Y, mm (0: curso + 10 %):", true},
    {"ciclosZ", "Ciclos de Z por mm (0: não conhecido):", true},
    {"aceleracao", "Aceleração em meios-passos/s² (0: sem rampas):", true},
    {"partida", "Velocidade de partida em meios-passos/s:", false},
    {"deslocamento", "Velocidade dos deslocamentos, 0 a 40 (vazio: a de Velocidade):", true},
    {"antecipacao", "Antecipação em movimentos (0: parar em cada canto; vazio: 64):", true},
    {"folgaEixoX", "Folga X em mm (0: sem compensação):", true},
    {"folgaEixoY", "Folga Y em mm (0: sem compensação):", true},
}};

QString Text(double v) {
    QString s = QString::number(v, 'g', 10);
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

// The travel speed is a Slider2 value, or -1 to follow Slider2; the dialog
// shows it as a number, empty for -1. The look-ahead is a whole number; the
// play is shown in mm.
double& Value(MachineSettings& m, double& travelSpeed, double& lookahead, std::array<double, 2>& play,
              int field) {
    switch (field) {
        case MachineDialog::PlayX: return play[0];
        case MachineDialog::PlayY: return play[1];
        case MachineDialog::Lookahead: return lookahead;
        case MachineDialog::Accel: return m.accel;
        case MachineDialog::StartRate: return m.startRate;
        case MachineDialog::TravelSpeed: return travelSpeed;
        case MachineDialog::StepsX: return m.StepsPerMmX;
        case MachineDialog::StepsY: return m.StepsPerMmY;
        case MachineDialog::TravelX: return m.TravelX;
        case MachineDialog::TravelY: return m.TravelY;
        case MachineDialog::AllowX: return m.HomeAllowanceX;
        case MachineDialog::AllowY: return m.HomeAllowanceY;
        default: return m.ZCyclesPerMm;
    }
}

}  // namespace

MachineDialog::MachineDialog(const MachineSettings& m, QWidget* parent)
    : QDialog(parent), result_(m) {
    setObjectName(QStringLiteral("Maquina"));
    setWindowTitle(QStringLiteral("Máquina"));
    auto* form = new QFormLayout;
    MachineSettings shown = m;
    double travelSpeed = m.travelSpeed;
    double lookahead = m.lookahead;
    std::array<double, 2> play{m.BacklashX / m.StepsPerMmX, m.BacklashY / m.StepsPerMmY};
    for (int i = 0; i < kFields; ++i) {
        const double v = Value(shown, travelSpeed, lookahead, play, i);
        auto* e = new QLineEdit(i == TravelSpeed && v < 0 ? QString() : Text(v), this);
        e->setObjectName(QString::fromLatin1(kInfo[static_cast<std::size_t>(i)].name));
        form->addRow(QString::fromUtf8(kInfo[static_cast<std::size_t>(i)].label), e);
        edits_[static_cast<std::size_t>(i)] = e;
    }
    auto* note = new QLabel(
        QStringLiteral("O padrão de meios-passos por mm é o que o divisor 3,55 supõe: 40 / 3,55.\n"
                       "Com o curso conhecido, o Home XY desiste após o curso mais 10 %,\n"
                       "e \"Fresar\" avisa quando o desenho sai da área de trabalho.\n"
                       "Com aceleração, cada movimento XY parte e para na velocidade de partida;\n"
                       "com antecipação, o trabalho passa pelos cantos sem parar quando pode.\n"
                       "Com folga, o eixo que inverte o sentido anda a folga antes, sem desenhar."),
        this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &MachineDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MachineDialog::reject);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(note);
    box->addWidget(buttons);
}

bool MachineDialog::Read(const std::array<QString, kFields>& texts, MachineSettings& m,
                         QString& error) {
    MachineSettings read = m;
    double travelSpeed = -1;
    const MachineSettings defaults;
    double lookahead = defaults.lookahead;  // an empty box
    std::array<double, 2> play{};
    for (int i = 0; i < kFields; ++i) {
        const FieldInfo& info = kInfo[static_cast<std::size_t>(i)];
        QString t = texts[static_cast<std::size_t>(i)].trimmed();
        t.replace(QLatin1Char(','), QLatin1Char('.'));
        double v = i == TravelSpeed ? -1 : i == Lookahead ? lookahead : 0;
        bool ok = t.isEmpty() && info.zeroAllowed;
        if (!t.isEmpty()) v = t.toDouble(&ok);
        if (!ok) {
            QString label = QString::fromUtf8(info.label);
            label.chop(1);  // the colon
            error = QStringLiteral("\"%1\" não é um número: %2.")
                        .arg(texts[static_cast<std::size_t>(i)].trimmed(), label);
            return false;
        }
        Value(read, travelSpeed, lookahead, play, i) = v;
    }
    if (travelSpeed != -1 && (travelSpeed < 0 || travelSpeed > 40 || travelSpeed != static_cast<int>(travelSpeed))) {
        error = QStringLiteral("A velocidade dos deslocamentos é um número inteiro de 0 a 40, como "
                               "\"Velocidade:\" (vazio: a mesma).");
        return false;
    }
    read.travelSpeed = static_cast<int>(travelSpeed);
    if (lookahead < 0 || lookahead > kMaxLookahead || lookahead != static_cast<int>(lookahead)) {
        error = QStringLiteral("A antecipação é um número inteiro de movimentos, de 0 (parar em cada "
                               "canto) a 10000.");
        return false;
    }
    read.lookahead = static_cast<int>(lookahead);
    // The play is taken up in whole half-steps.
    const double playX = std::nearbyint(play[0] * read.StepsPerMmX);
    const double playY = std::nearbyint(play[1] * read.StepsPerMmY);
    if (!(playX >= 0 && playY >= 0 && playX <= kMaxBacklash && playY <= kMaxBacklash)) {
        error = QStringLiteral("A folga deve estar entre 0 e 10000 meios-passos.");
        return false;
    }
    read.BacklashX = static_cast<int>(playX);
    read.BacklashY = static_cast<int>(playY);
    const std::string why = ValidateMachineSettings(read);
    if (!why.empty()) {
        error = QString::fromStdString(why);
        return false;
    }
    m = read;
    return true;
}

void MachineDialog::accept() {
    std::array<QString, kFields> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = edits_[i]->text();
    QString error;
    MachineSettings m = result_;
    if (!Read(texts, m, error)) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kMsgTitle), error, QMessageBox::Ok,
                        this);
        box.setObjectName(QStringLiteral("MsgBox"));
        box.exec();
        return;
    }
    result_ = m;
    QDialog::accept();
}

}  // namespace pm
