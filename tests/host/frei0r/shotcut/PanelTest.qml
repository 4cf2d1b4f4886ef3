// Loads the Mattix filter's Shotcut files with Shotcut's own controls
// (Shotcut.Controls) in qmlscene, and drives the panel as a user would:
// the numbers start as the project's (-1), a slider sets the plug-in's 0 to
// 1 value, the project's box sets -1 again, the matte switch sets 0 or 1, a
// value becomes a keyframe once keyframes are on, and the keyer line names the clip and the
// project. Prints FAIL lines, then "all passed" or how many failed
// (qmlscene's exit status does not carry it).
import QtQuick 2.12
import QtQuick.Window 2.12
import "standins" as StandIns

Window {
    id: harness

    property var failures: []
    // The filter folder of this tree, and Debian's Shotcut's own filters.
    readonly property string folder: Qt.resolvedUrl('../../../../host/frei0r/shotcut/mattix')
    readonly property string shotcutFilters: 'file:///usr/share/shotcut/qml/filters'

    function expect(ok, what) {
        if (!ok) {
            failures.push(what);
            console.log('FAIL: ' + what);
        }
    }

    // The first item under `item` with objectName `name`, depth first.
    function find(item, name) {
        for (var i = 0; i < item.children.length; ++i) {
            var c = item.children[i];
            if (c.objectName === name)
                return c;
            var below = find(c, name);
            if (below)
                return below;
        }
        return null;
    }

    function loadMetadata(path) {
        var component = Qt.createComponent(path);
        expect(component.status === Component.Ready, path + ': ' + component.errorString());
        return component.status === Component.Ready ? component.createObject(harness) : null;
    }

    function checkMetadata() {
        var meta = loadMetadata(folder + '/meta.qml');
        if (!meta)
            return;
        expect(meta.mlt_service === 'frei0r.mattix', 'mlt_service is ' + meta.mlt_service);
        expect(meta.qml === 'ui.qml', 'the panel is ' + meta.qml);
        var names = [];
        for (var i = 0; i < meta.keyframes.parameters.length; ++i)
            names.push(meta.keyframes.parameters[i].property);
        expect(names.join() === 'softness,spill', 'keyframed: ' + names.join());
        expect(meta.keyframes.simpleProperties.join() === 'softness,spill', 'simple keyframes');
        // Shotcut's own entries load through the same stand-in.
        for (var name of ['bluescreen0r', 'blur_exponential'])
            loadMetadata(shotcutFilters + '/' + name + '/meta.qml');
    }

    function checkPanel() {
        var panel = loader.item;
        expect(loader.status === Loader.Ready, 'ui.qml did not load');
        if (!panel)
            return;
        for (var name of ['softness', 'spill', 'despill', 'clipblack', 'clipwhite', 'shrinkgrow', 'feather', 'despilledge', 'unmix', 'refine', 'closeholes'])
            expect(filter.values[name] === -1, name + " starts at " + filter.values[name] + ", not the project's -1");
        expect(filter.values.matte === 0, 'matte starts at ' + filter.values.matte);
        // Each row: the box unticked, the slider set in the row's unit, the
        // plug-in value the filter gets.
        var rows = [['softness', 50, 0.5], ['spill', 20, 0.2], ['clipwhite', 90, 0.9], ['shrinkgrow', -2, 0.375], ['feather', 2, 0.25], ['despilledge', 8, 0.25]];
        for (var row of rows) {
            var number = find(panel, row[0]);
            expect(number !== null, 'no control ' + row[0]);
            if (!number)
                continue;
            var box = find(number, 'fromProject');
            box.checked = false;
            box.toggled();
            find(number, 'slider').value = row[1];
            expect(Math.abs(filter.values[row[0]] - row[2]) < 1e-9, row[0] + ' at ' + row[1] + ' sets ' + filter.values[row[0]] + ', not ' + row[2]);
            box.checked = true;
            box.toggled();
            expect(filter.values[row[0]] === -1, row[0] + " back to the project's sets " + filter.values[row[0]]);
        }
        var matte = find(panel, 'matte');
        matte.checked = true;
        matte.toggled();
        expect(filter.values.matte === 1, 'the matte switch sets ' + filter.values.matte);
        // Keyframes for softness: a value chosen becomes a keyframe (at the
        // playhead, which the stand-in cannot place: see standins/Filter.qml).
        var keys = find(panel, 'softnessKeyframes');
        keys.checked = true;
        keys.toggled();
        var softness = find(panel, 'softness');
        find(softness, 'fromProject').checked = false;
        find(softness, 'fromProject').toggled();
        find(softness, 'slider').value = 30;
        var keyed = filter.keyframes.softness ? Object.values(filter.keyframes.softness) : [];
        expect(keyed.indexOf(0.3) >= 0, 'no softness keyframe 0.3: ' + JSON.stringify(keyed));
        // The keyer line names the clip and the project.
        filter.set('project', panel.pathOf('file:///keys/a%20key.json'));
        filter.changed();
        var line = find(panel, 'serveLine').text;
        expect(line.indexOf('mattix serve "/clips/green.mov" --project "/keys/a key.json"') >= 0, 'keyer line: ' + line);
    }

    width: 480
    height: 560
    visible: true

    // Once the event loop runs, so that quitting ends qmlscene.
    Timer {
        running: true
        interval: 0
        onTriggered: {
            checkMetadata();
            loader.source = folder + '/ui.qml';
            checkPanel();
            console.log(failures.length ? failures.length + ' failed' : 'all passed');
            Qt.quit();
        }
    }

    // Stand-ins for the objects Shotcut's program gives its panels.
    StandIns.Filter {
        id: filter
    }

    StandIns.Producer {
        id: producer
    }

    QtObject {
        id: application

        // Shotcut's application also has OS, read only on a keyframe button's click.
        property int dialogModality: Qt.ApplicationModal

        function showStatusMessage(text) {
        }
    }

    QtObject {
        id: metadata

        property QtObject keyframes: QtObject {
            property bool enabled: true
        }
    }

    QtObject {
        id: parameters

        function simpleKeyframesInUse() {
            return false;
        }

        function removeSimpleKeyframes() {
        }

        function reload() {
        }
    }

    QtObject {
        id: keyframes

        function show() {
        }

        function raise() {
        }
    }

    Loader {
        id: loader

        anchors.fill: parent
    }
}
