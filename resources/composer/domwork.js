// The page side of TDomWork. It runs in a script world of its own: the page's own world
// has JavaScript switched off, so nothing from a message ever runs, and the message cannot
// reach these functions. C++ calls qfDom.call(name, args); the page pushes its command
// states to the host object of the web channel after every selection change and input.
(function () {
    'use strict';
    if (window.qfDom)
        return;
    const doc = document;

    // Paragraph formats offered by the Styles box, and the element each one makes.
    const BLOCKS = [
        ['Normal', 'p'], ['Formatted', 'pre'], ['Address', 'address'],
        ['Heading 1', 'h1'], ['Heading 2', 'h2'], ['Heading 3', 'h3'],
        ['Heading 4', 'h4'], ['Heading 5', 'h5'], ['Heading 6', 'h6'],
        ['Numbered List', 'ol'], ['Bulleted List', 'ul'],
        ['Definition Term', 'dt'], ['Definition', 'dd']];

    const ENABLED = 3, LATCHED = 7, DISABLED = 1;

    // ---- keeping scripts out --------------------------------------------------------

    const URL_ATTRS = ['href', 'src', 'action', 'formaction', 'xlink:href', 'background', 'lowsrc'];
    // Event handlers and addresses, found without visiting every element of a long message.
    const SUSPECT = "//@*[starts-with(name(), 'on') or " +
        URL_ATTRS.map(function (n) { return "name() = '" + n + "'"; }).join(' or ') + ']';

    function clean(root) {
        root.querySelectorAll('script').forEach(function (e) { e.remove(); });
        root.querySelectorAll('meta[http-equiv]').forEach(function (e) {
            if (/^\s*refresh\s*$/i.test(e.getAttribute('http-equiv')))
                e.remove();
        });
        const found = doc.evaluate(SUSPECT, root, null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);
        for (let i = 0; i < found.snapshotLength; i++) {
            const a = found.snapshotItem(i);
            const n = a.name.toLowerCase();
            if (n.startsWith('on') || /^\s*(javascript|vbscript):/i.test(a.value))
                a.ownerElement.removeAttribute(a.name);
        }
    }

    function cleanHtml(html) {
        const d = new DOMParser().parseFromString('<body>' + html, 'text/html');
        clean(d);
        return d.body.innerHTML;
    }

    // ---- selection helpers ----------------------------------------------------------

    function range() {
        const s = getSelection();
        if (!s || !s.rangeCount)
            return null;
        const r = s.getRangeAt(0);
        return doc.body && doc.body.contains(r.commonAncestorContainer) ? r : null;
    }

    function elementOf(node) {
        return node && node.nodeType !== 1 ? node.parentElement : node;
    }

    function closestIn(node, selector) {
        const e = elementOf(node);
        const hit = e ? e.closest(selector) : null;
        return hit && doc.body.contains(hit) ? hit : null;
    }

    function setCaret(node) {
        const r = doc.createRange();
        r.selectNodeContents(node);
        r.collapse(true);
        const s = getSelection();
        s.removeAllRanges();
        s.addRange(r);
    }

    // ---- tables ---------------------------------------------------------------------

    // The caret into a cell with its contents selected, so that typing replaces the
    // space a new cell holds.
    function enterCell(cell) {
        const r = doc.createRange();
        // Typing replaces a selection between text positions only, not between elements.
        const walk = doc.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
        let first = walk.nextNode(), last = first;
        for (let t = first; t; t = walk.nextNode())
            last = t;
        if (first) {
            r.setStart(first, 0);
            r.setEnd(last, last.length);
        } else {
            r.selectNodeContents(cell);
            r.collapse(true);
        }
        const s = getSelection();
        s.removeAllRanges();
        s.addRange(r);
    }

    // Tab and Shift+Tab move between the cells of a table instead of leaving the editor.
    function tabKey(e) {
        if (e.key !== 'Tab' || e.ctrlKey || e.altKey || e.metaKey)
            return;
        const r = range();
        const cell = r ? closestIn(r.startContainer, 'td,th') : null;
        if (!cell)
            return;
        e.preventDefault();
        const cells = [];
        for (const row of Array.from(cell.closest('table').rows))
            cells.push(...Array.from(row.cells));
        const next = cells[cells.indexOf(cell) + (e.shiftKey ? -1 : 1)];
        if (next)
            enterCell(next);
    }

    // The table's cells laid out on a grid of rows and columns, spans counted.
    function grid(table) {
        const rows = Array.from(table.rows);
        const m = rows.map(function () { return []; });
        const pos = new Map();
        rows.forEach(function (tr, r) {
            let c = 0;
            for (const td of Array.from(tr.cells)) {
                while (m[r][c])
                    c++;
                const rs = Math.max(1, Math.min(td.rowSpan || 1, rows.length - r));
                const cs = Math.max(1, td.colSpan || 1);
                pos.set(td, { r: r, c: c, rs: rs, cs: cs });
                for (let i = 0; i < rs; i++)
                    for (let j = 0; j < cs; j++)
                        m[r + i][c + j] = td;
                c += cs;
            }
        });
        let cols = 0;
        m.forEach(function (row) { cols = Math.max(cols, row.length); });
        return { m: m, pos: pos, rows: rows, cols: cols };
    }

    // The cell holding the selection's start, and the cells of its table that the
    // selection touches.
    function tableSelection() {
        const r = range();
        if (!r)
            return null;
        const cell = closestIn(r.startContainer, 'td,th');
        if (!cell)
            return null;
        const table = cell.closest('table');
        const cells = [];
        for (const tr of Array.from(table.rows))
            for (const td of Array.from(tr.cells))
                if (td === cell || (!r.collapsed && r.intersectsNode(td)))
                    cells.push(td);
        return { table: table, cell: cell, cells: cells };
    }

    // The grid rectangle that the cells fill exactly, or null.
    function rectangle(g, cells) {
        let r0 = Infinity, c0 = Infinity, r1 = -1, c1 = -1, area = 0;
        for (const td of cells) {
            const p = g.pos.get(td);
            r0 = Math.min(r0, p.r); c0 = Math.min(c0, p.c);
            r1 = Math.max(r1, p.r + p.rs - 1); c1 = Math.max(c1, p.c + p.cs - 1);
            area += p.rs * p.cs;
        }
        return area === (r1 - r0 + 1) * (c1 - c0 + 1) ? { r0: r0, c0: c0, r1: r1, c1: c1 } : null;
    }

    function newCell(like) {
        const td = doc.createElement(like && like.tagName === 'TH' ? 'th' : 'td');
        td.innerHTML = '&nbsp;';
        return td;
    }

    // Inserts td into row r of the grid so that it starts at column c.
    function placeCell(g, r, c, td) {
        const tr = g.rows[r];
        for (const other of Array.from(tr.cells))
            if (g.pos.get(other) && g.pos.get(other).c >= c)
                return tr.insertBefore(td, other);
        return tr.appendChild(td);
    }

    // Rows left without cells go; cells that reached over them get shorter.
    function removeEmptyRows(table) {
        const g = grid(table);
        for (let r = g.rows.length - 1; r >= 0; r--) {
            if (g.rows[r].cells.length)
                continue;
            const shortened = new Set();
            for (const td of g.m[r] || [])
                if (td && !shortened.has(td)) {
                    shortened.add(td);
                    td.rowSpan = Math.max(1, td.rowSpan - 1);
                    if (td.rowSpan === 1)
                        td.removeAttribute('rowspan');
                }
            g.rows[r].remove();
        }
    }

    const TABLE_OPS = {
        // A cell to the left of the current cell.
        5019: function (g, t) {
            return t.cell.parentNode.insertBefore(newCell(t.cell), t.cell);
        },
        // A column to the left of the current column.
        5020: function (g, t) {
            const c = g.pos.get(t.cell).c;
            let mine = null;
            const widened = new Set();
            g.rows.forEach(function (tr, r) {
                const over = g.m[r][c];
                if (over && g.pos.get(over).c < c) {
                    if (!widened.has(over)) {
                        over.colSpan = g.pos.get(over).cs + 1;
                        widened.add(over);
                    }
                    return;
                }
                const td = newCell(over);
                placeCell(g, r, c, td);
                if (r === g.pos.get(t.cell).r)
                    mine = td;
            });
            return mine;
        },
        // A row above the current row.
        5021: function (g, t) {
            const r = g.pos.get(t.cell).r;
            const tr = doc.createElement('tr');
            const widened = new Set();
            for (let c = 0; c < g.cols; c++) {
                const over = g.m[r][c];
                if (over && g.pos.get(over).r < r) {
                    if (!widened.has(over)) {
                        over.rowSpan = g.pos.get(over).rs + 1;
                        widened.add(over);
                    }
                    continue;
                }
                tr.appendChild(newCell(over));
            }
            g.rows[r].parentNode.insertBefore(tr, g.rows[r]);
            return tr.cells[0] || null;
        },
        // The selected cells go; the row's later cells move left.
        5005: function (g, t) {
            for (const td of t.cells)
                td.remove();
            removeEmptyRows(t.table);
            return null;
        },
        // The columns that the selection touches.
        5006: function (g, t) {
            const cols = new Set();
            for (const td of t.cells) {
                const p = g.pos.get(td);
                for (let j = 0; j < p.cs; j++)
                    cols.add(p.c + j);
            }
            const done = new Set();
            g.m.forEach(function (row) {
                row.forEach(function (td, c) {
                    if (!td || !cols.has(c) || done.has(td))
                        return;
                    done.add(td);
                    const p = g.pos.get(td);
                    let keep = 0;
                    for (let j = 0; j < p.cs; j++)
                        if (!cols.has(p.c + j))
                            keep++;
                    if (keep)
                        td.colSpan = keep;
                    else
                        td.remove();
                });
            });
            removeEmptyRows(t.table);
            return null;
        },
        // The rows that the selection touches.
        5007: function (g, t) {
            const rows = new Set();
            for (const td of t.cells) {
                const p = g.pos.get(td);
                for (let i = 0; i < p.rs; i++)
                    rows.add(p.r + i);
            }
            // A cell that reaches down from a deleted row into a kept one moves there.
            const done = new Set();
            g.m.forEach(function (row, r) {
                row.forEach(function (td) {
                    if (!td || done.has(td))
                        return;
                    done.add(td);
                    const p = g.pos.get(td);
                    let keep = 0, first = -1;
                    for (let i = 0; i < p.rs; i++)
                        if (!rows.has(p.r + i)) {
                            keep++;
                            if (first < 0)
                                first = p.r + i;
                        }
                    if (!keep)
                        return;
                    if (keep !== p.rs)
                        td.rowSpan = keep;
                    if (first !== p.r)
                        placeCell(g, first, p.c, td);
                });
            });
            Array.from(rows).forEach(function (r) { g.rows[r].remove(); });
            return null;
        },
        // The selected rectangle of cells becomes one cell holding their contents.
        5029: function (g, t) {
            const box = rectangle(g, t.cells);
            const first = g.m[box.r0][box.c0];
            for (const td of t.cells) {
                if (td === first)
                    continue;
                const text = td.textContent.replace(/\u00a0/g, ' ').trim();
                if (text || td.querySelector('img,table,hr'))
                    while (td.firstChild)
                        first.appendChild(td.firstChild);
                td.remove();
            }
            first.colSpan = box.c1 - box.c0 + 1;
            first.rowSpan = box.r1 - box.r0 + 1;
            if (first.colSpan === 1)
                first.removeAttribute('colspan');
            if (first.rowSpan === 1)
                first.removeAttribute('rowspan');
            removeEmptyRows(t.table);
            return first;
        },
        // A merged cell falls apart into single cells; a single cell becomes two side by
        // side, the column growing in the other rows.
        5047: function (g, t) {
            const p = g.pos.get(t.cell);
            const td = t.cell;
            if (p.rs > 1 || p.cs > 1) {
                td.removeAttribute('colspan');
                td.removeAttribute('rowspan');
                for (let i = 0; i < p.rs; i++) {
                    const after = i === 0 ? td : null;
                    for (let j = p.cs - 1; j >= (i === 0 ? 1 : 0); j--) {
                        const n = newCell(td);
                        if (after)
                            after.parentNode.insertBefore(n, after.nextSibling);
                        else
                            placeCell(g, p.r + i, p.c, n);
                    }
                }
                return td;
            }
            const widened = new Set();
            g.m.forEach(function (row, r) {
                const over = row[p.c];
                if (over && over !== td && !widened.has(over)) {
                    over.colSpan = g.pos.get(over).cs + 1;
                    widened.add(over);
                }
            });
            td.parentNode.insertBefore(newCell(td), td.nextSibling);
            return td;
        }
    };

    // While one state is taken, the table under the selection is looked up once.
    let tableMemo = null;

    function tableStatus(id) {
        const t = tableMemo ? tableMemo.t : tableSelection();
        if (!t)
            return DISABLED;
        if (id === 5029)
            return t.cells.length > 1 && rectangle(grid(t.table), t.cells) ? ENABLED : DISABLED;
        return ENABLED;
    }

    // Runs one table command on a copy of the table and puts the copy in its place with
    // insertHTML, so that the editor's own undo takes it back in one step.
    function tableCommand(id) {
        if (tableStatus(id) !== ENABLED)
            return false;
        const t = tableSelection();
        const g = grid(t.table);
        // The same command on a copy: map the original cells to the copy's cells.
        const copy = t.table.cloneNode(true);
        const map = new Map();
        Array.from(t.table.rows).forEach(function (tr, r) {
            Array.from(tr.cells).forEach(function (td, c) { map.set(td, copy.rows[r].cells[c]); });
        });
        const cg = grid(copy);
        const ct = { table: copy, cell: map.get(t.cell), cells: t.cells.map(function (td) { return map.get(td); }) };
        let target = TABLE_OPS[id](cg, ct);
        if (!copy.rows.length) {
            replaceWith(t.table, '');
            return true;
        }
        if (!target || !copy.contains(target)) {
            const p = g.pos.get(t.cell);
            const ng = grid(copy);
            const row = ng.m[Math.min(p.r, ng.m.length - 1)] || [];
            target = row[Math.min(p.c, row.length - 1)] || copy.rows[0].cells[0];
        }
        if (target)
            target.setAttribute('data-qf-caret', '');
        replaceWith(t.table, copy.outerHTML);
        const mark = doc.querySelector('[data-qf-caret]');
        if (mark) {
            mark.removeAttribute('data-qf-caret');
            setCaret(mark);
        }
        return true;
    }

    function replaceWith(node, html) {
        const r = doc.createRange();
        r.selectNode(node);
        const s = getSelection();
        s.removeAllRanges();
        s.addRange(r);
        if (html)
            doc.execCommand('insertHTML', false, html);
        else
            doc.execCommand('delete');
    }

    // ---- commands by name -----------------------------------------------------------

    function rgbToInt(text) {
        const m = /rgba?\((\d+),\s*(\d+),\s*(\d+)/.exec(text || '');
        if (!m)
            return 0;
        return (+m[1]) | (+m[2] << 8) | (+m[3] << 16);
    }

    function intToHex(v) {
        v = Number(v) >>> 0;
        const hex = function (n) { return ('0' + (n & 255).toString(16)).slice(-2); };
        return '#' + hex(v) + hex(v >> 8) + hex(v >> 16);
    }

    function fontName(text) {
        const first = String(text || '').split(',')[0].trim();
        return first.replace(/^["']|["']$/g, '');
    }

    const NAMES = ['Bold', 'Italic', 'Underline', 'ForeColor', 'FontName', 'FontSize',
                   'JustifyLeft', 'JustifyCenter', 'JustifyRight'];

    function value(name) {
        if (!range())
            return null;
        switch (name) {
        case 'Bold': case 'Italic': case 'Underline':
        case 'JustifyLeft': case 'JustifyCenter': case 'JustifyRight':
            return doc.queryCommandState(name);
        case 'ForeColor':
            return rgbToInt(doc.queryCommandValue('foreColor'));
        case 'FontName':
            return fontName(doc.queryCommandValue('fontName'));
        case 'FontSize': {
            const n = parseInt(doc.queryCommandValue('fontSize'), 10);
            return isNaN(n) ? null : n;
        }
        }
        return null;
    }

    function exec(name, v) {
        if (!range())
            return false;
        switch (name) {
        case 'ForeColor':
            return doc.execCommand('foreColor', false, intToHex(v));
        case 'FontSize':
            return doc.execCommand('fontSize', false, String(v));
        case 'FontName':
            return doc.execCommand('fontName', false, String(v));
        case 'JustifyCenter': case 'JustifyRight':
            // Releasing an alignment button returns the paragraph to the left.
            return doc.execCommand(v === false ? 'justifyLeft' : name, false);
        default:
            return doc.execCommand(name, false);
        }
    }

    // ---- paragraph formats ----------------------------------------------------------

    function blockFormat() {
        const r = range();
        if (!r)
            return '';
        const li = closestIn(r.startContainer, 'li');
        if (li)
            return li.parentElement.tagName === 'OL' ? 'Numbered List' : 'Bulleted List';
        const tag = String(doc.queryCommandValue('formatBlock') || '').toLowerCase();
        const hit = BLOCKS.find(function (b) { return b[1] === tag; });
        return hit ? hit[0] : 'Normal';
    }

    function setBlockFormat(name) {
        const hit = BLOCKS.find(function (b) { return b[0] === name; });
        if (!hit || !range())
            return false;
        if (hit[1] === 'ol' || hit[1] === 'ul') {
            const cmd = hit[1] === 'ol' ? 'insertOrderedList' : 'insertUnorderedList';
            return doc.queryCommandState(cmd) || doc.execCommand(cmd, false);
        }
        return doc.execCommand('formatBlock', false, hit[1]);
    }

    // ---- command numbers ------------------------------------------------------------

    const DOC_COMMANDS = {
        2150: 'insertHorizontalRule', 2184: 'insertOrderedList', 2185: 'insertUnorderedList',
        2186: 'indent', 2187: 'outdent'
    };

    function status(id, editGroup) {
        const r = range();
        if (!editGroup) {
            if (id === 2124 || id === 2168 || id === 2233 || id === 2234 || DOC_COMMANDS[id]) {
                if (!r)
                    return DISABLED;
                if ((id === 2184 || id === 2185) && doc.queryCommandState(DOC_COMMANDS[id]))
                    return LATCHED;
                return ENABLED;
            }
            return 0;
        }
        switch (id) {
        case 5002: case 5003:
            return r && !r.collapsed ? ENABLED : DISABLED;
        case 5032: case 5009: case 5011:
            return r ? ENABLED : DISABLED;
        case 5016:
            return r ? (closestIn(r.startContainer, 'a[href]') ? LATCHED : ENABLED) : DISABLED;
        case 5033:
            return doc.queryCommandEnabled('redo') ? ENABLED : DISABLED;
        case 5049:
            return doc.queryCommandEnabled('undo') ? ENABLED : DISABLED;
        case 5035:
            return ENABLED;
        case 5005: case 5006: case 5007: case 5019: case 5020: case 5021: case 5029: case 5047:
            return tableStatus(id);
        }
        return 0;
    }

    // Every state the command bars show, in one message.
    const PUSHED_DOC = [2124, 2150, 2168, 2184, 2185, 2186, 2187, 2233, 2234];
    const PUSHED_EDIT = [5002, 5003, 5005, 5006, 5007, 5009, 5011, 5016, 5019, 5020, 5021,
                         5029, 5032, 5033, 5035, 5047, 5049];

    let dirty = false;

    // The states last taken, kept while the document, the selection and the editor's
    // pending typing style stay as they were: a query racing the push after a change gets
    // them without the editor working them out again (each style query costs as much as
    // a round trip).
    let taken = null;

    function selectionKey() {
        const s = getSelection();
        return s && s.rangeCount ? [s.anchorNode, s.anchorOffset, s.focusNode, s.focusOffset]
                                 : [];
    }

    function sameKey(a, b) {
        return a.length === b.length && a.every(function (v, i) { return v === b[i]; });
    }

    function forget() {
        taken = null;
    }

    function state() {
        prepare();  // commands have no state in a page that cannot be edited
        if (changes.takeRecords().length)
            taken = null;
        const key = selectionKey();
        if (!taken || !sameKey(taken.key, key))
            taken = { key: key, s: takeState() };
        const s = Object.assign({ dirty: dirty, at: Date.now() }, taken.s);
        dirty = false;
        return s;
    }

    // Set by whatever may leave the editor a typing style for the next character (a format
    // command or a deletion at the caret); a click that moves the caret clears it.
    let styled = false, clickedFrom = null;

    function mayStyle() {
        styled = true;
        clickedFrom = null;
    }

    // The element whose styles the editor reports at a caret that follows a visible
    // character of a text node: there the editor takes the caret where it stands. Elsewhere
    // it may move the caret first, and a waiting typing style overrides the document.
    function caretElement() {
        if (styled && clickedFrom && !sameKey(clickedFrom, selectionKey()))
            styled = false;
        const r = styled ? null : range();
        if (!r || !r.collapsed || r.startContainer.nodeType !== 3 || r.startOffset === 0 ||
            /\s/.test(r.startContainer.data[r.startOffset - 1]))
            return null;
        const e = r.startContainer.parentElement;
        return e && e.isContentEditable && e.getClientRects().length ? e : null;
    }

    // The states of the named commands from the computed styles, as the editor works them
    // out, at a fifth of a millisecond a query. The size keeps the editor's answer: its
    // sizes 1 to 7 come from keywords that computed styles do not keep.
    function caretValues(e) {
        const cs = getComputedStyle(e);
        if (cs.visibility !== 'visible')
            return null;
        const rtl = cs.direction === 'rtl';
        const align = { start: rtl ? 'right' : 'left', end: rtl ? 'left' : 'right',
                        '-webkit-left': 'left', '-webkit-right': 'right',
                        '-webkit-center': 'center' }[cs.textAlign] || cs.textAlign;
        return {
            Bold: parseInt(cs.fontWeight, 10) >= 600,
            Italic: cs.fontStyle === 'italic',
            Underline: /underline/.test(cs.getPropertyValue('-webkit-text-decorations-in-effect')),
            ForeColor: rgbToInt(cs.color),
            FontName: fontName(cs.fontFamily),
            FontSize: value('FontSize'),
            JustifyLeft: align === 'left',
            JustifyCenter: align === 'center',
            JustifyRight: align === 'right'
        };
    }

    function takeState() {
        const e = caretElement();
        const doc_ = {}, edit = {};
        let values = e ? caretValues(e) : null;
        if (!values) {
            values = {};
            for (const n of NAMES)
                values[n] = value(n);
        }
        for (const id of PUSHED_DOC)
            doc_[id] = status(id, false);
        tableMemo = { t: tableSelection() };
        try {
            for (const id of PUSHED_EDIT)
                edit[id] = status(id, true);
        } finally {
            tableMemo = null;
        }
        return { values: values, doc: doc_, edit: edit, block: blockFormat() };
    }

    // ---- links, images, fonts -------------------------------------------------------

    function linkHref() {
        const r = range();
        const a = r ? closestIn(r.startContainer, 'a[href]') : null;
        return a ? a.getAttribute('href') : '';
    }

    function setLink(url) {
        const r = range();
        if (!r)
            return false;
        const a = closestIn(r.startContainer, 'a[href]');
        if (r.collapsed && a) {
            const whole = doc.createRange();
            whole.selectNodeContents(a);
            getSelection().removeAllRanges();
            getSelection().addRange(whole);
        }
        if (!url)
            return doc.execCommand('unlink', false);
        if (/^\s*(javascript|vbscript):/i.test(url))
            return false;
        if (r.collapsed && !a) {
            const e = doc.createElement('a');
            e.setAttribute('href', url);
            e.textContent = url;
            return doc.execCommand('insertHTML', false, e.outerHTML);
        }
        return doc.execCommand('createLink', false, url);
    }

    function insertImage(attrs) {
        if (!range() || !attrs || !attrs.src)
            return false;
        const img = doc.createElement('img');
        img.setAttribute('src', attrs.src);
        if (attrs.alt)
            img.setAttribute('alt', attrs.alt);
        if (attrs.align)
            img.setAttribute('align', attrs.align);
        if (attrs.border !== undefined && attrs.border !== '')
            img.setAttribute('border', String(attrs.border));
        return doc.execCommand('insertHTML', false, cleanHtml(img.outerHTML));
    }

    // ---- style properties the browser does not know ----------------------------------

    // An editing command writes an element's style attribute back from what the browser
    // made of it, which drops the properties it does not know (Outlook's mso- and -ms-) and
    // values it cannot read. Those are put back after every change, also after the editor's
    // own undo and keys; what the command changed stands.
    const styleWrites = new MutationObserver(keepStyles);
    styleWrites.observe(doc, { attributes: true, attributeFilter: ['style'],
                               attributeOldValue: true, subtree: true });
    let probe = null;

    // The declarations of a style text, split at the semicolons outside quotes, brackets
    // and comments.
    function declarations(text) {
        const out = [];
        let from = 0, depth = 0, quote = '';
        const take = function (to) {
            const d = text.slice(from, to).trim();
            if (d.indexOf(':') > 0)
                out.push(d);
            from = to + 1;
        };
        for (let i = 0; i < text.length; i++) {
            const c = text[i];
            if (quote) {
                if (c === '\\')
                    i++;
                else if (c === quote)
                    quote = '';
            } else if (c === '"' || c === "'") {
                quote = c;
            } else if (c === '/' && text[i + 1] === '*') {
                const end = text.indexOf('*/', i + 2);
                i = end < 0 ? text.length : end + 1;
            } else if (c === '(') {
                depth++;
            } else if (c === ')' && depth > 0) {
                depth--;
            } else if (c === ';' && !depth) {
                take(i);
            }
        }
        take(text.length);
        return out;
    }

    function understood(declaration) {
        probe = probe || doc.createElement('div');  // never part of the document
        probe.setAttribute('style', declaration);
        return probe.style.length > 0;
    }

    function sameDeclaration(a, b) {
        const key = function (d) {
            const i = d.indexOf(':');
            return d.slice(0, i).trim().toLowerCase() + ':' + d.slice(i + 1).trim();
        };
        return key(a) === key(b);
    }

    function keepStyles(delivered) {
        const records = (delivered || []).concat(styleWrites.takeRecords());
        if (!records.length)
            return;
        const before = new Map();
        for (const m of records)
            if (!before.has(m.target))
                before.set(m.target, m.oldValue);
        before.forEach(function (old, e) {
            if (old === null || !e.isConnected)
                return;
            const now = declarations(e.getAttribute('style') || '');
            const lead = [], rest = [];
            let seen = false;
            for (const d of declarations(old)) {
                if (understood(d))
                    seen = true;
                else if (!now.some(function (n) { return sameDeclaration(n, d); }))
                    (seen ? rest : lead).push(d);
            }
            // Those written before the first one the browser reads stay in front.
            if (lead.length || rest.length)
                e.setAttribute('style', lead.concat(now, rest).join('; ') + ';');
        });
        styleWrites.takeRecords();
    }

    // ---- the document ---------------------------------------------------------------

    // The document as its source: the doctype, and the elements without our editing
    // attribute. Written out part by part, so that a large document is not copied first.
    function attrText(e, skip) {
        let t = '';
        for (const a of Array.from(e.attributes)) {
            if (a.name === skip)
                continue;
            t += ' ' + a.name + '="' + a.value.replace(/&/g, '&amp;').replace(/"/g, '&quot;')
                .replace(/\u00a0/g, '&nbsp;') + '"';
        }
        return t;
    }

    function nodeText(n) {
        switch (n.nodeType) {
        case 1: return n.outerHTML;
        case 3: {
            const d = doc.createElement('div');
            d.textContent = n.data;
            return d.innerHTML;
        }
        case 8: return '<!--' + n.data + '-->';
        }
        return '';
    }

    function rootText(root) {
        let t = '<html' + attrText(root, '') + '>';
        for (const n of Array.from(root.childNodes)) {
            if (n === doc.body)
                t += '<body' + attrText(n, 'contenteditable') + '>' + n.innerHTML + '</body>';
            else
                t += nodeText(n);
        }
        return t + '</html>';
    }

    // Every node of the document in its order: comments beside the doctype and the <html>
    // element (Outlook's conditional comments stand there) are part of the message.
    function html() {
        keepStyles();
        let t = '';
        for (const n of Array.from(doc.childNodes)) {
            if (n.nodeType === Node.DOCUMENT_TYPE_NODE)
                t += new XMLSerializer().serializeToString(n);
            else if (n === doc.documentElement)
                t += rootText(n);
            else
                t += nodeText(n);
        }
        return t;
    }

    let details = null;

    function showDetails(on) {
        if (!details) {
            details = new CSSStyleSheet();
            details.replaceSync('table, td, th { outline: 1px dotted #808080; } ' +
                                'a[name]::before { content: "\\2693"; color: #808080; }');
        }
        const others = doc.adoptedStyleSheets.filter(function (s) { return s !== details; });
        doc.adoptedStyleSheets = on ? others.concat([details]) : others;
        return on;
    }

    // ---- the bridge -----------------------------------------------------------------

    let host = null, pushSoon = false;

    function schedulePush() {
        if (pushSoon)
            return;
        pushSoon = true;
        // Timers do not run in a page without JavaScript; a microtask does.
        queueMicrotask(function () {
            pushSoon = false;
            if (host)
                host.push(state());
        });
    }

    const API = {
        state: state,
        value: value,
        exec: function (name, v) { const ok = exec(name, v); dirty = true; return ok; },
        status: status,
        docCommand: function (id) {
            const name = DOC_COMMANDS[id];
            if (!name || !range())
                return false;
            dirty = true;
            return doc.execCommand(name, false);
        },
        table: function (id) { dirty = true; return tableCommand(id); },
        blockFormats: function () { return BLOCKS.map(function (b) { return b[0]; }); },
        blockFormat: blockFormat,
        setBlockFormat: function (name) { dirty = true; return setBlockFormat(name); },
        pasteHtml: function (h) {
            if (!range())
                return false;
            dirty = true;
            const before = new Set(doc.querySelectorAll('table'));
            const done = doc.execCommand('insertHTML', false, cleanHtml(h));
            // A new table is filled from its first cell.
            const added = Array.from(doc.querySelectorAll('table')).find(t => !before.has(t));
            if (added && added.rows.length && added.rows[0].cells.length)
                enterCell(added.rows[0].cells[0]);
            return done;
        },
        linkHref: linkHref,
        setLink: function (url) { dirty = true; return setLink(url); },
        image: function (attrs) { dirty = true; return insertImage(attrs); },
        html: html,
        details: showDetails
    };

    // Calls that change nothing, after which the page has nothing new to report.
    const READ_ONLY = new Set(['state', 'value', 'status', 'html', 'blockFormats', 'blockFormat',
                               'linkHref']);

    window.qfDom = {
        call: function (name, args) {
            const f = API[name];
            if (!f)
                throw new Error('unknown command ' + name);
            if (name !== 'html' && name !== 'blockFormats')
                prepare();
            const result = f.apply(null, args || []);
            if (!READ_ONLY.has(name)) {
                keepStyles();
                mayStyle();
                forget();  // a command may leave a typing style without touching the document
                schedulePush();
            }
            return result === undefined ? null : result;
        }
    };

    // The editing scaffolding waits for the first use (a click, a key, the focus or a
    // command): an editable body, Enter making paragraphs, and the caret at the beginning
    // so that commands work before the first click. An editable page takes longer to lay
    // out, which a long message would make the user wait for on loading.
    clean(doc);
    if (!doc.body)
        doc.documentElement.appendChild(doc.createElement('body'));
    let prepared = false, quietSelections = 0;

    function prepare() {
        if (prepared)
            return;
        prepared = true;
        doc.body.setAttribute('contenteditable', 'true');
        // Keys already on their way go to the editable body.
        if (doc.hasFocus() && doc.activeElement !== doc.body)
            doc.body.focus({ preventScroll: true });
        doc.execCommand('defaultParagraphSeparator', false, 'p');
        doc.execCommand('styleWithCSS', false, false);
        if (!range()) {
            quietSelections++;  // the caret placed here is no move of the user's
            setCaret(doc.body);
        }
    }
    ['keydown', 'mousedown', 'focusin', 'beforeinput'].forEach(function (type) {
        doc.addEventListener(type, prepare, true);
    });
    doc.addEventListener('keydown', tabKey, true);
    // What can change the states besides the document and the selection: keys (Ctrl+B with
    // the caret sets a typing style), clicks, input, and a new width for media queries.
    ['keydown', 'mousedown', 'beforeinput', 'input', 'compositionend'].forEach(function (type) {
        doc.addEventListener(type, forget, true);
    });
    window.addEventListener('resize', forget);
    doc.addEventListener('keydown', function (e) {
        if (e.ctrlKey || e.metaKey || e.altKey)
            mayStyle();
    }, true);
    doc.addEventListener('beforeinput', function (e) {
        if (!/^insert(Text|ReplacementText|CompositionText)$/.test(e.inputType))
            mayStyle();
    }, true);
    doc.addEventListener('mousedown', function () {
        if (styled)
            clickedFrom = selectionKey();
    }, true);
    const changes = new MutationObserver(forget);
    changes.observe(doc, { childList: true, subtree: true, attributes: true, characterData: true });
    // A selection made while the page had no focus (a command run behind a dialog) takes
    // no typing until it is made again.
    window.addEventListener('focus', function () {
        const r = range();
        if (!r)
            return;
        const s = getSelection();
        s.removeAllRanges();
        s.addRange(r.cloneRange());
    });

    doc.addEventListener('selectionchange', function () {
        if (quietSelections > 0)
            quietSelections--;
        else
            schedulePush();
    });
    doc.addEventListener('input', function () { dirty = true; schedulePush(); });
    doc.addEventListener('paste', function (e) {
        const data = e.clipboardData;
        const h = data ? data.getData('text/html') : '';
        if (!h)
            return;
        e.preventDefault();
        doc.execCommand('insertHTML', false, cleanHtml(h));
    }, true);
    doc.addEventListener('drop', function (e) {
        const data = e.dataTransfer;
        if (data && data.getData('text/html'))
            e.preventDefault();
    }, true);

    if (typeof QWebChannel !== 'undefined' && typeof qt !== 'undefined') {
        new QWebChannel(qt.webChannelTransport, function (channel) {
            host = channel.objects.qfHost;
            host.push({ init: true });  // the bridge stands; the states come with the first use
        });
    }
})();
