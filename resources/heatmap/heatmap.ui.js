// Controls of the heat map page outside the drawing: the colour range slider
// as it stands before the first data, the switches, the set selector and the
// rename dialog.

(function () {
    var slider = document.getElementById("markerRange");
    noUiSlider.create(slider, {
        start: [20, 80],
        behaviour: "tap-drag",
        connect: true,
        range: { min: 0, max: 100 },
        pips: { mode: "positions", values: [0, 25, 50, 75, 100], density: 4 }
    });
})();

// Sets a switch without running its change handler.
function setSwitch(inputId, on) {
    var input = document.getElementById(inputId);
    if (!input) return;
    var label = input.parentNode;
    if (label && label.MaterialSwitch) {
        if (on) label.MaterialSwitch.on(); else label.MaterialSwitch.off();
    } else {
        input.checked = on;
    }
}

// --- rename dialog ----------------------------------------------------------

var _renameDialogOpen = false;
var _renameHideTimer = null;

function renameInput() {
    return document.getElementById("subset-input");
}

function updateRenameAccept() {
    document.getElementById("subset-accept").disabled = renameInput().value.length === 0;
}

// Opens the dialog for cluster `cluster` with its current label as text.
function openRenameDialog(cluster) {
    _clickedColumeLabelId = cluster;
    var label = document.getElementById("subsetLabel" + cluster);
    var input = renameInput();
    input.value = label ? label.textContent : "";
    updateRenameAccept();
    var field = document.getElementById("subset-textfield");
    if (field.MaterialTextfield) field.MaterialTextfield.checkDirty();
    if (_renameHideTimer !== null) {
        clearTimeout(_renameHideTimer);
        _renameHideTimer = null;
    }
    _renameDialogOpen = true;
    d3.select("#d3-cyto-overlay").style("display", "block");
    d3.select("#subset-modal").interrupt().transition().duration(500).style("margin-top", "0px");
    input.focus();
}

function closeRenameDialog() {
    _renameDialogOpen = false;
    d3.select("#subset-modal").interrupt().transition().duration(500).style("margin-top", "-300px");
    _renameHideTimer = setTimeout(function () {
        _renameHideTimer = null;
        d3.select("#d3-cyto-overlay").style("display", "none");
    }, 500);
    var field = document.getElementById("subset-textfield");
    field.classList.remove("is-dirty");
    field.classList.add("is-invalid");
    renameInput().blur();
}

// The new name goes to the application; the label changes when the renamed
// set comes back.
function acceptRename() {
    var text = renameInput().value;
    if (text.length === 0) return;
    if (isQtAvailable) Qt.js_setSubsetName(_clickedColumeLabelId, text);
    closeRenameDialog();
}

(function () {
    var input = renameInput();
    input.addEventListener("keyup", function (event) {
        updateRenameAccept();
        if (event.keyCode === 13) acceptRename();
    });
    input.addEventListener("input", updateRenameAccept);
    document.getElementById("subset-accept").addEventListener("click", acceptRename);
    document.getElementById("subset-cancel").addEventListener("click", closeRenameDialog);
})();

// The set selector opens a list drawn by the page (../jstools/menus.js).
attachPageList(document.getElementById("clusterSelector"));
