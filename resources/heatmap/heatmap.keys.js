// Arrow keys move the selected column: left and right by one column, up to
// the last column, down to the first. Keys typed into the rename dialog stay
// there.
d3.select("body").on("keydown", function () {
    var code = d3.event.keyCode;
    if (code < 37 || code > 40 || _renameDialogOpen) return;
    d3.event.preventDefault();
    moveSelection(code);
});
