#pragma once
#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace pm::pictures {

// The window's pictures, painted in code at 32 x 32 so nothing has to be
// shipped beside the program.
enum class Arrow { Up, Down, Left, Right };

QPixmap PointingHand();      // window icon and the web link's pointer
QPixmap LightningBolt();     // "Fresar"
QPixmap StopSign();          // "Cancelar"
QPixmap JogArrow(Arrow a);   // the six arrows of the jog pad
QPixmap Lamp();              // a lit switch lamp, on the lamps' grey
QPixmap Envelope();          // the mail link's pointer

QCursor HandCursor();
QCursor EnvelopeCursor();

}  // namespace pm::pictures
