// Stand-in for Shotcut's QmlKeyframesParameter (see Metadata.qml).
import QtQuick 2.0

QtObject {
    property string name
    property string property
    property var gangedProperties: []
    property bool isSimple
    property bool isCurve
    property double minimum
    property double maximum: 1
    property bool isRectangle
}
