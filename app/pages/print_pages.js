// Cuts a laid-out report into printed sheets of a fixed height before it is printed: the engine's
// own page breaks repeat no table header, number no page and split rows in half. The report's
// frame (".page", its content in ".rp" when there is one) becomes one frame per sheet; blocks, the
// rows of every table and the lines of the finding lists are the pieces laid out from sheet to
// sheet, never cut. A table that goes on over a sheet repeats its header; a section title stays
// with what follows it, the signature block with the report's closing line. Every sheet carries a
// running head (the frame's data-head text) and "Seite n von m". A document without such a frame
// is left to the engine. Returns the sheet count.
(function (sheetHeight) {
  var root = document.querySelector('#printReport .page') || document.querySelector('body .page');
  if (!root || !root.parentNode) return 0;
  var flow = root.querySelector(':scope > .rp') || root;
  var head = root.getAttribute('data-head') || '';

  // Added before anything is measured: a style added later would have the document laid out again.
  var style = document.createElement('style');
  style.textContent = 'html,body{margin:0!important;padding:0!important;height:auto!important;overflow:visible!important}' +
    '.pg-sheet{box-sizing:border-box!important;position:relative;margin:0 auto!important;overflow:visible;break-after:page;page-break-after:always}' +
    '.pg-sheet:last-child{break-after:auto;page-break-after:auto}' +
    '.pg-run,.pg-num{position:absolute;font-size:9px;line-height:12px;color:#93a29c;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}' +
    '.pg-num{text-align:right}';
  document.head.appendChild(style);
  var frame = getComputedStyle(root);
  var padTop = parseFloat(frame.paddingTop) || 0;
  var padBottom = parseFloat(frame.paddingBottom) || 0;
  var padLeft = parseFloat(frame.paddingLeft) || 0;
  var padRight = parseFloat(frame.paddingRight) || 0;

  var SPLIT = '.rp-viol,.rp-gap,[data-split]';
  var KEEP = '.rp-sec,.sec,.hint,.rp-sign,h1,h2,h3,h4';
  var units = [];
  function collect(container, path) {
    Array.prototype.forEach.call(container.children, function (child) {
      if (child.tagName === 'TABLE' && child.rows.length > (child.tHead ? child.tHead.rows.length : 0)) {
        var first = true;
        Array.prototype.forEach.call(child.tBodies, function (body) {
          Array.prototype.forEach.call(body.rows, function (row) {
            units.push({node: row, path: path.concat([child, body]), table: child, first: first});
            first = false;
          });
        });
      } else if (child.matches(SPLIT) && child.children.length) {
        collect(child, path.concat([child]));
      } else {
        units.push({node: child, path: path, keep: child.matches(KEEP)});
      }
    });
  }
  collect(flow, []);
  if (!units.length) return 0;

  // Where each piece starts, its top margin included; a table's first row starts with the table
  // (its header) and a piece runs to where the next one starts.
  var origin = flow.getBoundingClientRect().top;
  var tops = units.map(function (u) {
    var box = (u.first ? u.table : u.node);
    var margin = u.table ? 0 : parseFloat(getComputedStyle(box).marginTop) || 0;
    return box.getBoundingClientRect().top - margin - origin;
  });
  tops.push(Math.max(flow.scrollHeight, flow.getBoundingClientRect().height));
  var heights = units.map(function (u, i) { return Math.max(0, tops[i + 1] - tops[i]); });
  function headerHeight(table) { return table && table.tHead ? table.tHead.getBoundingClientRect().height : 0; }

  function assign(room) {
    var pages = [[]];
    var y = 0;
    var need = function (i, page) {
      var u = units[i];
      var prev = page.length ? units[page[page.length - 1]] : null;
      var repeatsHeader = u.table && !u.first && (!prev || prev.table !== u.table);
      return heights[i] + (repeatsHeader ? headerHeight(u.table) : 0);
    };
    for (var i = 0; i < units.length; ++i) {
      var page = pages[pages.length - 1];
      var wanted = need(i, page);
      for (var j = i; units[j].keep && j + 1 < units.length; ++j) wanted += heights[j + 1];
      if (page.length && y + wanted > room) {
        pages.push([]);
        page = pages[pages.length - 1];
        y = 0;
      }
      y += need(i, page);
      page.push(i);
    }
    return pages;
  }

  var anchor = document.createComment('sheets');
  root.parentNode.insertBefore(anchor, root);
  root.remove();
  var sheets = [];
  function build(pages) {
    var made = pages.map(function (page, p) {
      var sheet = root.cloneNode(false);
      sheet.removeAttribute('id');
      sheet.classList.add('pg-sheet');
      sheet.style.height = sheetHeight + 'px';
      var body = flow === root ? sheet : sheet.appendChild(flow.cloneNode(false));
      var open = [];
      page.forEach(function (i) {
        var u = units[i];
        var keep = 0;
        while (keep < open.length && keep < u.path.length && open[keep].from === u.path[keep]) ++keep;
        open.length = keep;
        for (var k = keep; k < u.path.length; ++k) {
          var from = u.path[k];
          var copy = from.cloneNode(false);
          if (from.tagName === 'TABLE') {
            Array.prototype.forEach.call(from.children, function (part) {
              if (part.tagName === 'COLGROUP' || part.tagName === 'CAPTION' && u.first) copy.appendChild(part.cloneNode(true));
            });
            if (from.tHead) copy.appendChild(from.tHead.cloneNode(true));
          }
          (k ? open[k - 1].to : body).appendChild(copy);
          open.push({from: from, to: copy});
        }
        (open.length ? open[open.length - 1].to : body).appendChild(u.node);
      });
      var run = document.createElement('div');
      run.className = 'pg-run';
      run.style.cssText = 'left:' + padLeft + 'px;right:' + padRight + 'px;top:' + Math.max(4, padTop / 2 - 10) + 'px';
      run.textContent = head;
      var number = document.createElement('div');
      number.className = 'pg-num';
      number.style.cssText = 'left:' + padLeft + 'px;right:' + padRight + 'px;bottom:' + Math.max(4, padBottom / 2 - 8) + 'px';
      number.textContent = 'Seite ' + (p + 1) + ' von ' + pages.length;
      sheet.appendChild(run);
      sheet.appendChild(number);
      anchor.parentNode.insertBefore(sheet, anchor);
      return sheet;
    });
    sheets.forEach(function (old) { old.remove(); });
    sheets = made;
  }

  // Predicted heights can be a little off where margins meet; a sheet whose content still runs
  // over is laid out again with that much less room.
  var room = sheetHeight - padTop - padBottom;
  for (var attempt = 0; attempt < 4; ++attempt) {
    var pages = assign(room);
    build(pages);
    var over = 0;
    sheets.forEach(function (sheet, p) {
      if (pages[p].length > 1) over = Math.max(over, sheet.scrollHeight - sheetHeight);
    });
    if (over <= 0) break;
    room -= over + 1;
  }
  // Printing lays the sheets out again for print; the screen layout the engine restores afterwards
  // would lay out every sheet once more for nothing, before the next report can start.
  style.textContent += '@media screen{.pg-sheet{display:none!important}}';
  return sheets.length;
})
