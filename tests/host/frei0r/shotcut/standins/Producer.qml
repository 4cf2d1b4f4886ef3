// Stand-in for the producer object Shotcut gives a panel: the clip.
import QtQuick 2.0

QtObject {
    property int position: 0
    property int duration: 100

    function get(name) {
        return name === 'resource' ? '/clips/green.mov' : '';
    }
}
