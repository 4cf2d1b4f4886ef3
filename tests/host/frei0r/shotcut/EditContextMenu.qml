// Stand-in for Shotcut's EditContextMenu, a type its program adds to
// Shotcut.Controls (the edit menu of a text field).
import QtQuick 2.0

QtObject {
    property bool readOnly

    signal undoTriggered()
    signal redoTriggered()
    signal cutTriggered()
    signal copyTriggered()
    signal pasteTriggered()
    signal deleteTriggered()
    signal clearTriggered()
    signal selectAllTriggered()

    function popup() {
    }
}
