#include "catalogue/catalogue.h"

namespace sorana::catalogue {

const StandardRows<kOldStandardSlots> OldStandardFiles = {{
    // 0 国土交通省電子納品基準
    {"KOKDO200108.SP_", "KOKDO200406.SP_", "CAD__200406.SP_", "CAD__200307.SP_", "CAD__200207.SP_",
     "PHOTO200207.SP_", "PHOTO200406.SP_", "PHOTO200601.SP_", "PHOTO200604.sp_"},
    // 1 農林水産省電子納品基準
    {"NORIN200204.SP_", "NORIN200304.SP_", "NORIN200504.SP_", "PHOTN200304.SP_", "PHOTN200504.SP_",
     "CADN_200404.SP_", "CADN_200504.SP_", "PHOTN200604.sp_"},
    // 2 愛媛県電子納品基準
    {"EHIM200503.SP_", "EHIM200603.SP_", "CADEHIM__200503.SP_", "CADEHIM__200603.SP_", "PHOTOEHIM200503.SP_",
     "PHOTOEHIM200603.SP_", "EHIM200703.sp_", "PHOTOEHIM200703.sp_", "CADEHIM__200703.sp_",
     "eh0703quality.xl_", "PHOTOEHIM200704.sp_"},
    // 3 高知県電子納品基準
    {"KOCHI200504.SP_", "KOCHI200506.SP_", "KOCHI200604.SP_", "PHOTOKOCHI200504.SP_", "PHOTOKOCHI200506.SP_",
     "PHOTOKOCHI200604.SP_", "CADKOCHI__200504.SP_", "CADKOCHI__200506.SP_", "CADKOCHI__200604.SP_",
     "KOCHI200704.sp_", "PHOTOKOCHI200704.sp_", "CADKOCHI__200704.sp_"},
    // 4 京都府電子納品基準
    {"KYOTO200506.SP_", "PHOTOKYOTO200506.SP_", "CADKYOTO__200506.SP_", "KYOTO200608.SP_",
     "PHOTOKYOTO200608.SP_", "KYOTO200608.SP_", "京都府18年8月納品書.XL_", "PHOTOKYOTO200609.sp_"},
    // 5 広島県電子納品基準
    {"HIRO200504.SP_", "PHOTOHIRO200504.SP_", "CADHIRO__200504.SP_", "PHOTOHIRO200705.sp_"},
    // 6 香川県電子納品基準
    {"KAGA200503.SP_", "PHOTOKAGA200503.SP_", "CADKAGA__200503.SP_"},
    // 7 日本道路公団
    {"JHK200212.SP_", "JHS200404.SP_", "PHOTOJHK200212.SP_", "PHOTOJHS200404.SP_"},
    // 8 水資源機構
    {"CADMIZU__200406.SP_", "MIZU200406.SP_", "PHOTOMIZU200406.SP_", "PHOTOMIZU200601.SP_",
     "PHOTOMIZU200604.sp_"},
    // 9 京都市建設局電子納品基準
    {"KYOTOC200606.sp_", "PHOTOKYOTOC200606.sp_", "CADKYOTOC__200606.sp_"},
    // 10 山口県電子納品基準
    {"YAMA200603.sp_", "CADYAMA__200603.sp_", "PHOTOYAMA200603.sp_", "PHOTOYAMA200604.sp_"},
    // 11 京都府（治山）電子納品基準
    {},
    // 12 京都府（農林）電子納品基準
    {},
    // 13 営繕工事電子納品基準
    {},
    // 14 国土交通省（機械設備）
    {},
    // 15 国土交通省（電気通信設備）
    {},
    // 16 香川県農政水産部
    {},
    // 17 徳島県電子納品基準
    {},
    // 18 広島県営繕工事電子納品基準
    {},
    // 19 山口県農林水産部
    {},
    // 20 徳島県農林水産部
    {},
    // 21 京都市上下水道局
    {},
}};

const StandardRows<kNewStandardSlots> NewStandardFiles = {{
    // 0 国土交通省電子納品基準
    {"KOKDO202003.SP_", "KOKDO202103.SP_", "KOKDO202203.SP_", "KOKDO202303.SP_", "CAD__202003.SP_",
     "CAD__202103.SP_", "CAD__202203.SP_", "CAD__202303.SP_", "PHOTO202003.SP_", "PHOTO202103.SP_",
     "PHOTO202203.SP_", "PHOTO202303.SP_", "BORING202003.sp_", "BORING202103.sp_", "BORING202203.sp_",
     "BORING202303.sp_"},
    // 1 農林水産省電子納品基準
    {"NORIN201103.sp_", "NORIN201203.sp_", "PHOTN201103.sp_", "PHOTN201203.sp_", "CADN_201103.sp_",
     "CADN_201203.sp_", "BORINGN201103.sp_", "BORINGN201203.sp_"},
    // 2 愛媛県電子納品基準
    {"EHIM201807.SP_", "EHIM201808.SP_", "EHIM201911.SP_", "EHIM201912.SP_", "CADEHIM__201807.SP_",
     "CADEHIM__201911.SP_", "PHOTOEHIM201807.SP_", "PHOTOEHIM201911.SP_", "eh0703quality.xl_",
     "eh0803quality.xl_", "BORINGEHIM201807.SP_", "BORINGEHIM201911.SP_"},
    // 3 高知県電子納品基準
    {"kcMOKU002.xl_",          "kcMOKU2306.xl_",        "KOCHI202003.SP_",        "KOCHI202306.SP_",
     "KOCHIN202003.SP_",       "KOCHIN202306.SP_",      "KOCHIR202003.SP_",       "KOCHIR202306.SP_",
     "CADKOCHI__202003.SP_",   "CADKOCHI__202306.SP_",  "CADKOCHIN__202003.SP_",  "CADKOCHIN__202306.SP_",
     "CADKOCHIR__202003.SP_",  "CADKOCHIR__202306.SP_", "PHOTOKOCHI202003.SP_",   "PHOTOKOCHI202306.SP_",
     "PHOTOKOCHIN202003.SP_",  "PHOTOKOCHIN202306.SP_", "PHOTOKOCHIR202003.SP_",  "PHOTOKOCHIR202306.SP_",
     "BORINGKOCHI202003.SP_",  "BORINGKOCHI202306.SP_", "BORINGKOCHIN202003.SP_", "BORINGKOCHIN202306.SP_",
     "BORINGKOCHIR202003.SP_", "BORINGKOCHIR202306.SP_"},
    // 4 京都府電子納品基準
    {"京都府18年8月納品書.XL_", "京都府21年8月納品書.DO_", "PHOTOKYOTO201008.sp_", "BORINGKYOTO201008.sp_",
     "KYOTO201008.sp_", "CADKYOTO__201008.sp_", "KYOTO201204.sp_", "BORINGKYOTO201204.sp_",
     "PHOTOKYOTO201204.sp_", "CADKYOTO__201204.sp_", "PHOTOKYOTO201504.sp_", "KYOTO201504.sp_",
     "BORINGKYOTO201504.sp_", "CADKYOTO__201504.sp_", "KYOTO201604.sp_", "BORINGKYOTO201604.sp_",
     "PHOTOKYOTO201604.sp_", "CADKYOTO__201604.sp_"},
    // 5 広島県電子納品基準
    {"HIRO201206.SP_", "CADHIRO__201206.sp_", "PHOTOHIRO201206.sp_", "BORINGHIRO201206.sp_",
     "BORINGHIRO201706.sp_", "CADHIRO__201706.sp_", "HIRO201706.sp_", "PHOTOHIRO201706.sp_"},
    // 6 香川県電子納品基準
    {"KAGA201104.SP_", "PHOTOKAGA201104.SP_", "CADKAGA__201104.SP_", "BORINGKAGA201104.SP_", "KAGA201504.sp_",
     "BORINGKAGA201504.sp_", "CADKAGA__201504.sp_", "PHOTOKAGA201504.sp_"},
    // 7 日本道路公団
    {"JHK201207.SP_", "JHK201707.SP_", "JHS200404.SP_", "PHOTOJHK201207.SP_", "PHOTOJHK201707.SP_",
     "PHOTOJHS200404.SP_"},
    // 8 水資源機構
    {"PHOTOMIZU200805.sp_", "MIZU200805.sp_", "CADMIZU__200805.sp_", "BORINGMIZU200805.sp_"},
    // 9 京都市建設局電子納品基準
    {"KYOTOC201010.sp_", "PHOTOKYOTOC201010.sp_", "CADKYOTOC__201010.sp_", "BORINGKYOTOC201010.sp_",
     "KYOTOC201404.sp_", "PHOTOKYOTOC201404.sp_", "CADKYOTOC__201404.sp_", "BORINGKYOTOC201404.sp_"},
    // 10 山口県電子納品基準
    {"YAMA200603.sp_", "YAMA201803.sp_", "CADYAMA__200603.sp_", "CADYAMA__201603.sp_", "CADYAMA__201803.sp_",
     "PHOTOYAMA200604.sp_", "PHOTOYAMA200804.sp_", "PHOTOYAMA201603.sp_", "PHOTOYAMA201803.sp_"},
    // 11 京都府（治山）電子納品基準
    {"KYOTI200909.sp_", "CADKYOTI__200909.sp_", "PHOTOKYOTI200909.sp_", "BORINGKYOTI200909.sp_",
     "KYOTI201206.sp_", "CADKYOTI__201206.sp_", "PHOTOKYOTI201206.sp_", "BORINGKYOTI201206.sp_"},
    // 12 京都府（農林）電子納品基準
    {"KYONO200909.sp_", "CADKYONO__200909.sp_", "PHOTOKYONO200909.sp_", "BORINGKYONO200909.sp_",
     "KYONO201206.sp_", "CADKYONO__201206.sp_", "PHOTOKYONO201206.sp_", "BORINGKYONO201206.sp_"},
    // 13 営繕工事電子納品基準
    {"EIZEN201205.sp_", "EIZEN201804.sp_", "EIZEN201910.sp_", "CADEIZEN__201205.sp_", "CADEIZEN__201804.sp_",
     "CADEIZEN__201910.sp_", "PHOTOEIZEN201205.sp_", "PHOTOEIZEN201804.sp_", "PHOTOEIZEN201910.sp_",
     "BORINGEIZEN201910.sp_"},
    // 14 国土交通省（機械設備）
    {"KKIKA200603.sp_",       "KKIKA201212.sp_",       "KKIKA201603.sp_",       "KKIKA201803.sp_",
     "KKIKA201903.sp_",       "KKIKA202203.sp_",       "KKIKA202303.sp_",       "CADKKIKA__200603.sp_",
     "CADKKIKA__201212.sp_",  "CADKKIKA__201603.sp_",  "CADKKIKA__201703.sp_",  "CADKKIKA__201803.sp_",
     "CADKKIKA__201903.sp_",  "CADKKIKA__202203.sp_",  "CADKKIKA__202303.sp_",  "PHOTOKKIKA200604.sp_",
     "PHOTOKKIKA201212.sp_",  "PHOTOKKIKA201603.sp_",  "PHOTOKKIKA201803.sp_",  "PHOTOKKIKA201903.sp_",
     "PHOTOKKIKA202203.sp_",  "PHOTOKKIKA202303.sp_",  "BORINGKKIKA201212.sp_", "BORINGKKIKA201603.sp_",
     "BORINGKKIKA201610.sp_", "BORINGKKIKA201803.sp_", "BORINGKKIKA201903.sp_", "BORINGKKIKA202203.sp_",
     "BORINGKKIKA202303.sp_"},
    // 15 国土交通省（電気通信設備）
    {"KDENK202203.sp_", "KDENK202303.sp_", "CADDENK__202203.sp_", "CADDENK__202303.sp_",
     "PHOTODENK202203.sp_", "PHOTODENK202303.sp_", "BORINGDENK202203.sp_", "BORINGDENK202303.sp_"},
    // 16 香川県農政水産部
    {"KAGANS200510.sp_", "CADKAGANS__200510.sp_", "PHOTOKAGANS200607.sp_", "KAGANS201804.sp_",
     "CADKAGANS__201804.sp_", "PHOTOKAGANS201804.sp_", "BORINGKAGANS201804.sp_"},
    // 17 徳島県電子納品基準
    {"TOKU200910.sp_", "TOKU201807.sp_", "TOKU201908.sp_", "CADTOKU__200406.sp_", "CADTOKU__200910.sp_",
     "CADTOKU__201807.sp_", "CADTOKU__201908.sp_", "PHOTOTOKU200910.sp_", "PHOTOTOKU201807.sp_",
     "PHOTOTOKU201908.sp_", "BORINGTOKU200910.sp_", "BORINGTOKU201807.sp_", "BORINGTOKU201908.sp_"},
    // 18 広島県営繕工事電子納品基準
    {"EIZHI200905.sp_", "CADEIZHI__200905.sp_", "PHOTOEIZHI200905.sp_"},
    // 19 山口県農林水産部
    {"YAMASR200903.sp_", "YAMANS200903.sp_", "CADYAMASR__200903.sp_", "CADYAMANS__200903.sp_",
     "PHOTOYAMASR200903.sp_", "PHOTOYAMANS200903.sp_"},
    // 20 徳島県農林水産部
    {"TOKUN201204.sp_", "TOKUN201807.sp_", "TOKUN201909.sp_", "CADTOKUN__201204.sp_", "CADTOKUN__201807.sp_",
     "CADTOKUN__201909.sp_", "PHOTOTOKUN201204.sp_", "PHOTOTOKUN201807.sp_", "PHOTOTOKUN201909.sp_",
     "BORINGTOKUN201204.sp_", "BORINGTOKUN201807.sp_", "BORINGTOKUN201909.sp_"},
    // 21 京都市上下水道局
    {"KYOTOG201112.sp_", "CADKYOTOG__201112.sp_", "PHOTOKYOTOG201112.sp_"},
}};

namespace {

template <size_t Slots>
void AppendStandards(std::vector<std::string>& list, const StandardRows<Slots>& rows,
                     const StandardChoice& checked) {
  for (size_t standard = 0; standard < rows.size(); ++standard) {
    if (!checked[standard]) continue;
    for (std::string_view name : rows[standard]) {
      if (!name.empty()) list.emplace_back(name);
    }
  }
}

}  // namespace

std::vector<std::string> BuildFileList(bool oldPhase, const StandardChoice& checked) {
  std::vector<std::string> list;
  if (oldPhase) {
    for (const ProgramRow& row : OldProgramRows) list.emplace_back(row.name);
    AppendStandards(list, OldStandardFiles, checked);
  } else {
    for (const ProgramRow& row : NewProgramRows) list.emplace_back(row.name);
    AppendStandards(list, NewStandardFiles, checked);
  }
  return list;
}

}  // namespace sorana::catalogue
