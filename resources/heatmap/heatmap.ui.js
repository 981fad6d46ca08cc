// Controls of the heat map page outside the drawing: the colour range slider
// as it stands before the first data, the switches and the rename dialog.

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

// --- menus and lists inside the page ------------------------------------------

var _pageMargin = 2;

// Moves a fixed or absolutely placed `element` inside the window, making it
// scroll when it is taller or wider than the window.
function keepInsidePage(element) {
    var m = _pageMargin;
    element.style.maxHeight = Math.max(0, window.innerHeight - 2 * m) + "px";
    element.style.maxWidth = Math.max(0, window.innerWidth - 2 * m) + "px";
    element.style.overflowY = "auto";
    var box = element.getBoundingClientRect();
    var left = clamp(m, box.left, window.innerWidth - m - box.width);
    var top = clamp(m, box.top, window.innerHeight - m - box.height);
    element.style.right = "";
    element.style.bottom = "";
    element.style.left = left + "px";
    element.style.top = top + "px";
}

// The context menu of `items`. The library opens it at the mouse, towards
// the side with more room, and a menu taller than that side ran off a small
// page: it is moved inside once shown.
function contextMenuInPage(items) {
    var open = d3.contextMenu(items);
    return function (data, index) {
        open.call(this, data, index);
        var menu = document.querySelector(".d3-context-menu");
        if (menu) keepInsidePage(menu);
    };
}

// The set selector's list. The engine shows a select element's options in a
// window of its own, in the selector's pale drawer text and beyond the edge
// of a small dock; the page shows its own list instead, inside the page,
// below the selector or, where there is more room, above it. The select
// element stays the record of the choice: choosing sets it and sends its
// change event.
var _setList = null;
var _setListActive = -1;

function setSelector() {
    return document.getElementById("clusterSelector");
}

function isSetListOpen() {
    return _setList !== null;
}

function closeSetList() {
    if (_setList === null) return;
    _setList.parentNode.removeChild(_setList);
    _setList = null;
    _setListActive = -1;
}

function setListItems() {
    return _setList ? _setList.querySelectorAll(".setListItem") : [];
}

function markSetListItem(k) {
    var items = setListItems();
    if (items.length === 0) return;
    _setListActive = clamp(0, k, items.length - 1);
    for (var i = 0; i < items.length; ++i) items[i].classList.toggle("active", i === _setListActive);
    var item = items[_setListActive];
    if (item.offsetTop < _setList.scrollTop) _setList.scrollTop = item.offsetTop;
    else if (item.offsetTop + item.offsetHeight > _setList.scrollTop + _setList.clientHeight)
        _setList.scrollTop = item.offsetTop + item.offsetHeight - _setList.clientHeight;
}

function chooseFromSetList(k) {
    var items = setListItems();
    if (k < 0 || k >= items.length) return;
    var option = +items[k].getAttribute("data-option");
    closeSetList();
    var selector = setSelector();
    if (selector.selectedIndex === option) return;
    selector.selectedIndex = option;
    var event = document.createEvent("Event");
    event.initEvent("change", true, false);
    selector.dispatchEvent(event);
}

function openSetList() {
    closeSetList();
    var selector = setSelector();
    var list = document.createElement("div");
    list.id = "clusterSelectorList";
    var chosen = -1;
    [].forEach.call(selector.options, function (option, o) {
        if (option.disabled) return;
        var item = document.createElement("div");
        item.className = "setListItem";
        item.textContent = option.text;
        item.setAttribute("data-option", o);
        if (o === selector.selectedIndex) chosen = list.childNodes.length;
        list.appendChild(item);
    });
    if (list.childNodes.length === 0) return;
    [].forEach.call(list.childNodes, function (item, k) {
        item.addEventListener("mousemove", function () { if (k !== _setListActive) markSetListItem(k); });
        item.addEventListener("mouseup", function () { chooseFromSetList(k); });
    });
    // Presses inside the list neither close it nor take the focus.
    list.addEventListener("mousedown", function (event) { event.preventDefault(); });
    document.body.appendChild(list);
    _setList = list;

    var m = _pageMargin;
    var box = selector.getBoundingClientRect();
    var below = window.innerHeight - m - box.bottom;
    var above = box.top - m;
    list.style.minWidth = Math.min(box.width, window.innerWidth - 2 * m) + "px";
    list.style.maxWidth = Math.max(0, window.innerWidth - 2 * m) + "px";
    list.style.maxHeight = Math.max(0, Math.max(below, above)) + "px";
    var height = list.getBoundingClientRect().height;
    var top = height <= below || below >= above ? box.bottom : box.top - height;
    list.style.top = top + "px";
    list.style.left = clamp(m, box.left, window.innerWidth - m - list.getBoundingClientRect().width) + "px";
    markSetListItem(Math.max(0, chosen));
}

(function () {
    var selector = setSelector();
    selector.addEventListener("mousedown", function (event) {
        event.preventDefault();
        if (event.button !== 0) return;
        if (isSetListOpen()) closeSetList(); else openSetList();
    });
    // Space, Enter, F4 and Alt+Down open the list, as they open the engine's.
    selector.addEventListener("keydown", function (event) {
        var code = event.keyCode;
        if (isSetListOpen()) return;
        if (code === 32 || code === 13 || code === 115 || (code === 40 && event.altKey)) {
            event.preventDefault();
            openSetList();
        }
    });
    // While the list is open it has the keys: up and down move, Enter
    // chooses, Escape and Tab close. Other pages' key handlers do not see them.
    window.addEventListener("keydown", function (event) {
        if (!isSetListOpen()) return;
        var code = event.keyCode;
        if (code === 38 || code === 40) markSetListItem(_setListActive + (code === 40 ? 1 : -1));
        else if (code === 13 || code === 32) chooseFromSetList(_setListActive);
        else if (code === 27) closeSetList();
        else if (code === 9) return closeSetList();
        else return;
        event.preventDefault();
        event.stopPropagation();
    }, true);
    document.addEventListener("mousedown", function (event) {
        if (!isSetListOpen()) return;
        if (_setList.contains(event.target) || event.target === selector) return;
        closeSetList();
    }, true);
})();
