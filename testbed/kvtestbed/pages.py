"""The operator's web pages: advertisements, setup document, update, end and result pages."""

import html

_STYLE = (
    "body{margin:0;font-family:'Noto Sans CJK TC','Microsoft JhengHei',sans-serif;color:#233;}"
    ".ad{box-sizing:border-box;overflow:hidden;background:linear-gradient(160deg,#0a6fb8,#39b3e6);"
    "color:#fff;padding:14px;text-align:center;}"
    ".ad h1{font-size:20px;margin:6px 0;} .ad p{font-size:13px;margin:6px 0;}"
    ".ad a{display:inline-block;margin-top:8px;padding:5px 12px;background:#ffb300;color:#233;"
    "border-radius:4px;text-decoration:none;font-weight:bold;}"
    ".doc{max-width:640px;margin:16px auto;padding:0 12px;line-height:1.6;}"
    "table{border-collapse:collapse;} td,th{border:1px solid #9ab;padding:3px 8px;font-size:13px;}"
)


def _page(title, body):
    return (
        "<!DOCTYPE html>\n<html lang=\"zh-Hant\"><head><meta charset=\"utf-8\">"
        f"<title>{html.escape(title)}</title><style>{_STYLE}</style></head>\n<body>{body}</body></html>\n"
    )


def ad_wide():
    return _page(
        "Vantrel光纖寬頻",
        '<div class="ad" style="width:300px;height:250px">'
        "<h1>Vantrel光纖寬頻</h1><p>本月優惠：升級 300M 光纖</p><p>前六個月月租五折</p>"
        '<a href="#" target="_blank">立即申辦</a></div>',
    )


def ad_tall():
    return _page(
        "Vantrel加速包",
        '<div class="ad" style="width:120px;height:300px">'
        "<h1>加速包</h1><p>上傳速率<br>加倍</p><p>線上申辦<br>免手續費</p>"
        '<a href="#" target="_blank">了解更多</a></div>',
    )


def setup_document():
    return _page(
        "測速前準備事項",
        '<div class="doc"><h2>測速前準備事項</h2><ol>'
        "<li>請以網路線直接連接數據機，避免使用無線網路。</li>"
        "<li>測試前請關閉下載程式、線上影音及其他會使用網路的軟體。</li>"
        "<li>防毒軟體或防火牆若詢問是否允許本程式連線，請選擇允許。</li>"
        "<li>測試約需一分鐘，測試期間請勿操作電腦。</li>"
        "<li>測試結果受電腦效能與網路設定影響，僅供參考。</li></ol></div>",
    )


def update_page():
    return _page(
        "軟體更新",
        '<div class="doc"><h2>軟體更新</h2><p>Kivota 測速軟體已推出最新版本，'
        "請下載並安裝後再進行測試。</p><p>目前版本：0.93</p></div>",
    )


def end_page():
    return _page("感謝使用", '<div class="doc"><h2>感謝您使用 Vantrel 測速軟體</h2><p>歡迎隨時再次測試。</p></div>')


def report_page(n, fields):
    rows = "".join(f"<tr><td>{html.escape(k)}</td><td>{html.escape(v)}</td></tr>" for k, v in fields)
    return _page(
        f"檢測報告 {n}",
        f'<div class="doc"><h2>檢測報告 第 {int(n)} 號</h2>'
        f"<table><tr><th>欄位</th><th>數值</th></tr>{rows}</table></div>",
    )


def not_found_page():
    return _page("找不到網頁", '<div class="doc"><h2>404 找不到網頁</h2></div>')
