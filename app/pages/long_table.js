// Long tables on screen. A table of many rows holds only the rows near the visible part of its
// scrolling box, with a spacer row above and below standing in for the others, so that showing a
// year of shifts or a thousand hits costs the layout of a few screens. The rows themselves stay
// whole: html() gives the full table for reports and copies, the table tells assistive technology
// its full row count and each shown row its place, and before the page is printed every long
// table holds all its rows.
var LongTable = (function () {
  'use strict';
  var LONG = 120;   // groups of rows from which a table is shown in part
  var FIRST = 40;   // groups shown before any row height is known
  var live = [];
  var listened = [];

  // A table of the page: its markup up to the end of its head, its rows in groups (rows that
  // belong together, such as a shift with its day and night parts), the row that stands for no
  // rows at all, and, when the groups are items rather than markup, the function that makes the
  // one row of an item: a table shown in part then makes only the rows it shows.
  function table(open, groups, empty, row) { return {open: open, groups: groups, empty: empty, row: row}; }
  function markup(groups, row, from, to) {
    var out = '';
    for (var i = from; i < to; ++i) out += row ? row(groups[i], i) : groups[i];
    return out;
  }
  function whole(t) { return t.open + '<tbody>' + (t.groups.length ? markup(t.groups, t.row, 0, t.groups.length) : t.empty) + '</tbody></table>'; }
  // The markup of text pieces and tables, every row included.
  function html(parts) { return parts.map(function (p) { return typeof p === 'string' ? p : whole(p); }).join(''); }

  function spacer(columns) {
    var row = document.createElement('tr');
    row.setAttribute('aria-hidden', 'true');
    var cell = row.insertCell();
    cell.colSpan = columns;
    cell.style.cssText = 'padding:0;border:0;height:0';
    return row;
  }
  function viewport(scroller) {
    if (scroller === window) return {top: 0, bottom: window.innerHeight};
    var box = scroller.getBoundingClientRect();
    return {top: box.top + scroller.clientTop, bottom: box.top + scroller.clientTop + scroller.clientHeight};
  }

  function Shown(body, groups, scroller, row) {
    var head = body.parentNode.tHead;
    var headRows = head ? head.rows.length : 0;
    var columns = head && head.rows.length ? Array.prototype.reduce.call(head.rows[0].cells, function (n, c) { return n + c.colSpan; }, 0) : 1;
    this.body = body;
    this.groups = groups;
    this.row = row;
    this.scroller = scroller;
    this.firstRow = [];  // aria-rowindex of each group's first row
    var next = headRows + 1;
    for (var i = 0; i < groups.length; ++i) {
      this.firstRow.push(next);
      next += row ? 1 : (groups[i].match(/<tr[\s>]/g) || []).length;
    }
    this.firstRow.push(next);
    this.heights = groups.map(function () { return 0; });
    this.estimate = 0;
    this.from = this.to = 0;
    this.above = spacer(columns);
    this.below = spacer(columns);
    body.parentNode.setAttribute('aria-rowcount', String(next - 1));
    body.textContent = '';
  }
  Shown.prototype.height = function (i) { return this.heights[i] || this.estimate; };
  Shown.prototype.offset = function (i) {
    var y = 0;
    for (var j = 0; j < i; ++j) y += this.height(j);
    return y;
  };
  Shown.prototype.rowCount = function (from, to) { return this.firstRow[to] - this.firstRow[from]; };
  // Shows the groups from a to b, keeping the rows already shown that stay.
  Shown.prototype.render = function (a, b) {
    var body = this.body;
    this.above.remove();
    this.below.remove();
    if (b <= this.from || a >= this.to) {
      body.innerHTML = markup(this.groups, this.row, a, b);
    } else {
      for (var k = Math.max(0, this.rowCount(this.from, a)); k > 0; --k) body.deleteRow(0);
      for (k = Math.max(0, this.rowCount(b, this.to)); k > 0; --k) body.deleteRow(-1);
      if (a < this.from) body.insertAdjacentHTML('afterbegin', markup(this.groups, this.row, a, this.from));
      if (b > this.to) body.insertAdjacentHTML('beforeend', markup(this.groups, this.row, this.to, b));
    }
    this.from = a;
    this.to = b;
    var rows = body.rows;
    for (var r = 0; r < rows.length; ++r) rows[r].setAttribute('aria-rowindex', String(this.firstRow[a] + r));
    if (a > 0) body.insertBefore(this.above, body.firstChild);
    if (b < this.groups.length) body.appendChild(this.below);
    this.space();
  };
  // The spacers as high as the groups they stand for.
  Shown.prototype.space = function () {
    this.above.cells[0].style.height = this.offset(this.from) + 'px';
    this.below.cells[0].style.height = (this.offset(this.groups.length) - this.offset(this.to)) + 'px';
  };
  // The heights of the shown groups as laid out; the first measure sets the estimate for the rest.
  Shown.prototype.measure = function () {
    var rows = this.body.rows;
    var at = this.from > 0 ? 1 : 0;
    var measured = 0;
    for (var i = this.from; i < this.to; ++i) {
      var n = this.rowCount(i, i + 1);
      if (!n) continue;
      var top = rows[at].getBoundingClientRect().top;
      at += n;
      var end = at < rows.length ? rows[at].getBoundingClientRect().top : rows[at - 1].getBoundingClientRect().bottom;
      this.heights[i] = end - top;
      measured += end - top;
    }
    if (!this.estimate && measured > 0) this.estimate = measured / (this.to - this.from);
  };
  // The groups that lie in the visible part of the scroller, widened by `margin` screens.
  Shown.prototype.wanted = function (margin) {
    var view = viewport(this.scroller);
    var origin = this.body.getBoundingClientRect().top;
    var extra = (view.bottom - view.top) * margin;
    var lo = view.top - origin - extra, hi = view.bottom - origin + extra;
    var n = this.groups.length, a = 0, y = 0;
    while (a < n && y + this.height(a) <= lo) y += this.height(a++);
    var b = a;
    while (b < n && y < hi) y += this.height(b++);
    return {from: a, to: b};
  };
  // Brings the shown rows up to the scroll position; a group above the visible part whose height
  // turned out other than estimated moves the scroll position with it, so what is seen stays put.
  Shown.prototype.update = function () {
    if (!this.body.getClientRects().length) return;
    if (!this.estimate) {
      if (this.to === 0) this.render(0, Math.min(FIRST, this.groups.length));
      this.measure();
      if (!this.estimate) return;
      this.space();
    }
    for (var pass = 0; pass < 3; ++pass) {
      var need = this.wanted(0.25);
      if (need.to <= need.from || need.from >= this.from && need.to <= this.to) return;
      var anchor = this.wanted(0).from;
      var before = this.offset(anchor);
      var range = this.wanted(1);
      this.render(range.from, range.to);
      this.measure();
      var moved = this.offset(anchor) - before;
      if (moved && this.scroller === window) window.scrollBy(0, moved);
      else if (moved) this.scroller.scrollTop += moved;
    }
  };

  function each(action) {
    live = live.filter(function (t) { return t.body.isConnected; });
    live.forEach(action);
  }
  function updateAll() { each(function (t) { t.update(); }); }
  function listen(scroller) {
    if (listened.indexOf(scroller) >= 0) return;
    listened.push(scroller);
    scroller.addEventListener('scroll', updateAll, {passive: true});
  }
  window.addEventListener('resize', updateAll);
  window.addEventListener('beforeprint', function () { each(function (t) { t.render(0, t.groups.length); }); });
  window.addEventListener('afterprint', function () { each(function (t) { var range = t.wanted(1); t.render(range.from, range.to); }); });

  // Puts the groups of rows into the table body, in part when they are many; `scroller` is the
  // box whose scrolling brings the rows into view (the window when none is named), `row` as for
  // table().
  function fill(body, groups, scroller, row) {
    live = live.filter(function (t) { return t.body !== body && t.body.isConnected; });
    body.parentNode.removeAttribute('aria-rowcount');
    if (groups.length <= LONG) { body.innerHTML = markup(groups, row, 0, groups.length); return; }
    var shown = new Shown(body, groups, scroller || window, row);
    live.push(shown);
    listen(shown.scroller);
    shown.update();
  }
  // Puts text pieces and tables into the container, each long table in part.
  function show(container, parts, scroller) {
    var long = [];
    container.innerHTML = parts.map(function (p) {
      if (typeof p === 'string') return p;
      if (p.groups.length <= LONG) return whole(p);
      long.push(p);
      return p.open + '<tbody data-long></tbody></table>';
    }).join('');
    container.querySelectorAll('tbody[data-long]').forEach(function (body, i) {
      body.removeAttribute('data-long');
      fill(body, long[i].groups, scroller, long[i].row);
    });
  }

  return {table: table, html: html, fill: fill, show: show};
})();
