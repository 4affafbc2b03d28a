create procedure [dbo].[usp_GetOrders]
    @from datetime
as
select * from [dbo].[Orders] where [Created] >= @from
GO
create procedure [sp_MSdel_dboOrders]
		@pkc1 int
as
begin
	delete [dbo].[Orders]
	where [OrderID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
GO
